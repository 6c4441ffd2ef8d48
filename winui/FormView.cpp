#include "winui/FormView.h"

#include "winui/NativeText.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>

namespace {
// Outside the namespace, where HWND is still the system's type the macros cast to.
const HWND TopOfSiblings = HWND_TOP;
const HWND BottomOfSiblings = HWND_BOTTOM;
} // namespace

namespace winui {

using namespace winsys;

namespace {

const wchar_t* const FormClass = L"RvexForm";
const wchar_t* const FrameClass = L"RvexFrame";
const wchar_t* const ShapeClass = L"RvexShape";
constexpr UINT_PTR SubclassId = 1;
constexpr int FirstControlId = 100;
// A drop-down combo box's window includes its list.
constexpr int DropDownHeight = 200;

// Controls that take clicks as a whole, with no click notification of their own.
bool TakesPlainClicks(ControlKind kind) {
    switch (kind) {
    case ControlKind::Form:
    case ControlKind::TabSheet:
    case ControlKind::Panel:
    case ControlKind::GroupBox:
    case ControlKind::Shape:
        return true;
    default:
        return false;
    }
}

::HFONT MakeFont(const wchar_t* face, int pixels, bool bold) {
    return CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH, face);
}

::HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

} // namespace

FormView::FormView(TApplication& application, TForm& form)
    : application_(application), form_(form) {
    RegisterClasses();
    font_ = MakeFont(L"MS Sans Serif", 11, false);
    boldFont_ = MakeFont(L"MS Sans Serif", 11, true);
    gridFont_ = MakeFont(L"MS Sans Serif", 10, false); // the grid's rows are 14 pixels high
    memoFont_ = MakeFont(L"Courier New", 12, false);   // replies in hexadecimal line up
    for (Control* control : form.AllControls())
        if (control->Kind() != ControlKind::Timer) Create(*control);
    Layer();
    if (window_) {
        tooltips_ =
            CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, Instance(), nullptr);
        SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, 400);
        for (auto& b : bindings_)
            SyncHint(*b);
    }
    SetMessageFilter([this](MSG& message) { return FilterMessage(message); });
}

FormView::~FormView() {
    SetMessageFilter(nullptr);
    for (auto& b : bindings_)
        b->control->RemoveObserver(b->observer);
    Destroy();
    for (auto& b : bindings_)
        if (b->glyph) DeleteObject(b->glyph);
    for (auto& [color, brush] : brushes_)
        DeleteObject(brush);
    for (::HFONT font : {font_, boldFont_, gridFont_, memoFont_})
        DeleteObject(font);
}

void FormView::RegisterClasses() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.hInstance = Instance();
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpfnWndProc = &FormView::ContainerProc;
        wc.lpszClassName = FormClass;
        wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        RegisterClassExW(&wc);
        wc.hIcon = nullptr;
        wc.lpszClassName = FrameClass;
        RegisterClassExW(&wc);
        wc.lpfnWndProc = &FormView::ShapeProc;
        wc.lpszClassName = ShapeClass;
        RegisterClassExW(&wc);
        return true;
    }();
    (void)registered;
}

::HWND FormView::HandleOf(const std::string& name) const {
    auto it = byControl_.find(form_.FindControl(name));
    return it == byControl_.end() ? nullptr : it->second->hwnd;
}

FormView::Binding* FormView::Find(::HWND hwnd) const {
    auto it = byWindow_.find(hwnd);
    return it == byWindow_.end() ? nullptr : it->second;
}

void FormView::Show() {
    if (!window_) return;
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
}

void FormView::Destroy() {
    if (!window_) return;
    closing_ = true;
    if (tooltips_) DestroyWindow(tooltips_);
    DestroyWindow(window_);
    window_ = nullptr;
    tooltips_ = nullptr;
}

void FormView::Create(Control& control) {
    auto owned = std::make_unique<Binding>();
    Binding& b = *owned;
    b.control = &control;
    const tool::Placement* place = tool::FindPlacement(control.Name());
    if (!place) unplaced_.push_back(control.Name());
    if (place) b.look = place->look;
    ::HWND parent = nullptr;
    if (control.Parent()) {
        auto it = byControl_.find(control.Parent());
        parent = it != byControl_.end() ? it->second->hwnd : window_;
        if (!parent) return;
    }
    ++syncing_;
    b.hwnd = MakeWindow(b, parent, place);
    if (!b.hwnd) {
        --syncing_;
        return;
    }
    byControl_[&control] = &b;
    byWindow_[b.hwnd] = &b;
    if (b.frame) byWindow_[b.frame] = &b;
    if (b.edit) byWindow_[b.edit] = &b;
    if (control.Kind() != ControlKind::Form && control.Kind() != ControlKind::TabSheet &&
        control.Kind() != ControlKind::Panel && control.Kind() != ControlKind::GroupBox &&
        control.Kind() != ControlKind::Shape)
        SetWindowSubclass(b.hwnd, &FormView::ControlProc, SubclassId,
                          reinterpret_cast<DWORD_PTR>(this));
    if (b.edit)
        SetWindowSubclass(b.edit, &FormView::ControlProc, SubclassId,
                          reinterpret_cast<DWORD_PTR>(this));
    Decorate(b);
    SyncAll(b);
    --syncing_;
    b.observer = control.AddObserver([this, &b](Control&, Change change) { Sync(b, change); });
    bindings_.push_back(std::move(owned));
}

::HWND FormView::MakeWindow(Binding& b, ::HWND parent, const tool::Placement* place) {
    Control& c = *b.control;
    const int id = FirstControlId + static_cast<int>(bindings_.size());
    int left = place ? place->left : 0, top = place ? place->top : 0;
    int width = place ? place->width : 0, height = place ? place->height : 0;
    const DWORD child = WS_CHILD | WS_CLIPSIBLINGS;
    auto make = [&](DWORD exStyle, const wchar_t* cls, DWORD style, ::HWND in = nullptr) {
        ::HWND hwnd =
            CreateWindowExW(exStyle, cls, L"", style, left, top, width, height, in ? in : parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), this);
        if (hwnd) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return hwnd;
    };
    switch (c.Kind()) {
    case ControlKind::Form: {
        RECT outer{0, 0, tool::WindowWidth, tool::WindowHeight};
        const DWORD style =
            WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        AdjustWindowRectEx(&outer, style, FALSE, WS_EX_CONTROLPARENT);
        window_ = CreateWindowExW(WS_EX_CONTROLPARENT, FormClass, L"", style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                                  nullptr, nullptr, Instance(), this);
        return window_;
    }
    case ControlKind::PageControl: {
        ::HWND tabs =
            make(WS_EX_CONTROLPARENT, WC_TABCONTROLW, child | WS_CLIPCHILDREN | WS_TABSTOP);
        SendMessageW(tabs, TCM_SETMINTABWIDTH, 0, 120);
        return tabs;
    }
    case ControlKind::TabSheet: {
        b.tabs = parent;
        int index = static_cast<int>(SendMessageW(parent, TCM_GETITEMCOUNT, 0, 0));
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        std::wstring text = Wide(c.Text());
        item.pszText = text.data();
        SendMessageW(parent, TCM_INSERTITEMW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&item));
        RECT area;
        GetClientRect(parent, &area);
        SendMessageW(parent, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        left = area.left;
        top = area.top;
        width = area.right - area.left;
        height = area.bottom - area.top;
        // Not clipping its children: a group box of a decoration paints no inside.
        return make(WS_EX_CONTROLPARENT, FrameClass, child);
    }
    case ControlKind::Panel:
    case ControlKind::GroupBox: {
        // The group box covers the frame and paints no inside: the frame paints it.
        ::HWND frame = make(WS_EX_CONTROLPARENT, FrameClass, child);
        if (!frame) return nullptr;
        left = top = 0;
        b.frame = make(0, L"BUTTON", child | WS_VISIBLE | BS_GROUPBOX, frame);
        return frame;
    }
    case ControlKind::Button:
    case ControlKind::BitBtn: {
        DWORD kind = &c == form_.DefaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        return make(0, L"BUTTON", child | WS_TABSTOP | kind);
    }
    case ControlKind::Label: {
        DWORD style = child | SS_NOTIFY | SS_NOPREFIX | SS_CENTERIMAGE;
        style |= b.look == tool::Look::Lamp ? SS_CENTER | SS_SUNKEN : SS_LEFT;
        ::HWND label = make(0, L"STATIC", style);
        if (label && b.look == tool::Look::Title)
            SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);
        return label;
    }
    case ControlKind::Edit: {
        auto& edit = static_cast<TEdit&>(c);
        DWORD style = child | WS_TABSTOP | ES_AUTOHSCROLL | (edit.ReadOnly ? ES_READONLY : 0);
        ::HWND hwnd = make(WS_EX_CLIENTEDGE, L"EDIT", style);
        if (hwnd && edit.MaxLength > 0)
            SendMessageW(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(edit.MaxLength), 0);
        return hwnd;
    }
    case ControlKind::ComboBox: {
        auto& combo = static_cast<TComboBox&>(c);
        DWORD style = child | WS_TABSTOP | WS_VSCROLL | CBS_AUTOHSCROLL;
        switch (combo.Style) {
        case TComboBoxStyle::csDropDown:
            style |= CBS_DROPDOWN;
            height += DropDownHeight;
            break;
        case TComboBoxStyle::csDropDownList:
            style |= CBS_DROPDOWNLIST;
            height += DropDownHeight;
            break;
        case TComboBoxStyle::csSimple:
            style |= CBS_SIMPLE;
            break;
        }
        ::HWND hwnd = make(0, L"COMBOBOX", style);
        if (!hwnd) return nullptr;
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        if (GetComboBoxInfo(hwnd, &info) && info.hwndItem != hwnd) b.edit = info.hwndItem;
        if (combo.MaxLength > 0)
            SendMessageW(hwnd, CB_LIMITTEXT, static_cast<WPARAM>(combo.MaxLength), 0);
        if (b.edit && combo.ReadOnly) SendMessageW(b.edit, EM_SETREADONLY, TRUE, 0);
        return hwnd;
    }
    case ControlKind::StringGrid: {
        DWORD style = child | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL |
                      LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
        b.hwnd = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, style);
        if (b.hwnd) MakeGrid(b);
        return b.hwnd;
    }
    case ControlKind::Memo: {
        DWORD style = child | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                      ES_WANTRETURN | (static_cast<TMemo&>(c).ReadOnly ? ES_READONLY : 0);
        ::HWND hwnd = make(WS_EX_CLIENTEDGE, L"EDIT", style);
        if (!hwnd) return nullptr;
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(memoFont_), FALSE);
        SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0); // the monitor grows without a limit
        return hwnd;
    }
    case ControlKind::StatusBar: {
        ::HWND bar = make(0, STATUSCLASSNAMEW, WS_CHILD);
        if (!bar) return nullptr;
        // A themed status bar ignores its background colour; a theme of no name is
        // none.
        SetWindowTheme(bar, L" ", L" ");
        RECT client;
        GetClientRect(window_, &client);
        int parts[2] = {client.right - StatusFieldWidth, -1};
        SendMessageW(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
        statusBar_ = bar;
        return bar;
    }
    case ControlKind::Shape: {
        return make(0, ShapeClass, child);
    }
    case ControlKind::Timer:
        break;
    }
    return nullptr;
}

// Texts and frames of the layout that no control stands behind, beneath the controls.
void FormView::Decorate(Binding& b) {
    for (const tool::Decoration& d : tool::Decorations()) {
        if (b.control->Name() != d.parent) continue;
        ::HWND hwnd = CreateWindowExW(
            0, d.frame ? L"BUTTON" : L"STATIC", Wide(d.text).c_str(),
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | (d.frame ? BS_GROUPBOX : SS_LEFT), d.left,
            d.top, d.width, d.height, b.hwnd, nullptr, Instance(), nullptr);
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        decorations_.push_back(hwnd);
    }
}

// A new child window goes beneath its siblings, so the focus moves through the
// controls in the order they were made; what only frames them goes beneath them all:
// the shapes, the decorations, and lowest the frames' group boxes.
void FormView::Layer() {
    auto lowest = [](::HWND hwnd) {
        SetWindowPos(hwnd, BottomOfSiblings, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    };
    for (auto& b : bindings_)
        if (b->control->Kind() == ControlKind::Shape) lowest(b->hwnd);
    for (::HWND decoration : decorations_)
        lowest(decoration);
    for (auto& b : bindings_)
        if (b->frame) lowest(b->frame);
}

void FormView::AddTooltip(::HWND tool, const std::string& text) {
    if (!tooltips_ || !tool || text.empty()) return;
    std::wstring wide = Wide(text);
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = GetParent(tool);
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = wide.data();
    SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void FormView::RemoveTooltip(::HWND tool) {
    if (!tooltips_ || !tool) return;
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = GetParent(tool);
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    SendMessageW(tooltips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void FormView::SetStatusField(const std::string& text) {
    if (statusBar_)
        SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void FormView::Redraw(const Control& control) {
    auto it = byControl_.find(&control);
    if (it != byControl_.end()) InvalidateRect(it->second->hwnd, nullptr, TRUE);
}

// ---- The operator's side ----

void FormView::Act(const std::function<void()>& action) {
    try {
        application_.Guard(action);
    } catch (...) {
        application_.Errors().Show("An unexpected error ended the action");
    }
}

void FormView::Type(Binding& b, const std::function<void()>& action) {
    Binding* outer = typing_;
    typing_ = &b;
    Act(action);
    typing_ = outer;
    ++syncing_;
    SyncText(b);
    --syncing_;
}

void FormView::MemoKey(Binding& b, char key) {
    auto& memo = static_cast<TMemo&>(*b.control);
    DWORD start = 0, end = 0;
    SendMessageW(b.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    Act([&] {
        if (end > start) {
            // A key typed over a selection replaces it, as in any editor.
            std::string text = memo.Text();
            if (start < text.size()) text.erase(start, std::min<size_t>(end, text.size()) - start);
            memo.TypeText(text);
            memo.SetSelStart(start);
            if (key == '\b') {
                if (memo.OnKeyPress) memo.OnKeyPress(key);
                return;
            }
        } else {
            memo.SetSelStart(start);
        }
        form_.KeyPress(memo, key);
    });
}

void FormView::Command(Binding& b, UINT code) {
    Control& c = *b.control;
    switch (c.Kind()) {
    case ControlKind::Button:
    case ControlKind::BitBtn:
        if (code == BN_CLICKED) Act([&c] { c.Click(); });
        break;
    case ControlKind::Label:
        if (code == STN_CLICKED)
            Act([&c] { c.Click(); });
        else if (code == STN_DBLCLK)
            Act([&c] { c.DblClick(); });
        break;
    case ControlKind::Edit:
        if (code == EN_CHANGE) {
            Type(b, [&] {
                auto& edit = static_cast<TEdit&>(c);
                b.shown = WindowText(b.hwnd);
                std::string typed = Narrow(b.shown);
                // The window refuses keys beyond the limit; a text still longer is one
                // the program set and the operator shortened, which the limit leaves be.
                if (edit.MaxLength > 0 && typed.size() > static_cast<size_t>(edit.MaxLength))
                    edit.SetText(typed);
                else
                    edit.TypeText(typed);
            });
        }
        break;
    case ControlKind::ComboBox: {
        auto& combo = static_cast<TComboBox&>(c);
        if (code == CBN_SELCHANGE) {
            int index = static_cast<int>(SendMessageW(b.hwnd, CB_GETCURSEL, 0, 0));
            if (index >= 0) Type(b, [&] { combo.Select(index); });
        } else if (code == CBN_EDITCHANGE) {
            Type(b, [&] { combo.TypeText(Narrow(WindowText(b.hwnd))); });
        }
        break;
    }
    case ControlKind::Memo:
        if (code == EN_CHANGE) {
            // Edits that are not typed keys (paste, cut, delete): the editor made
            // them; the model takes the whole text.
            auto& memo = static_cast<TMemo&>(c);
            b.shown = WindowText(b.hwnd);
            DWORD start = 0;
            SendMessageW(b.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
            Type(b, [&] {
                memo.TypeText(Narrow(b.shown));
                memo.SetSelStart(start);
            });
        }
        break;
    default:
        break;
    }
}

LRESULT CALLBACK FormView::ContainerProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<FormView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!view) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return view->ContainerMessage(hwnd, msg, wParam, lParam);
}

LRESULT FormView::ContainerMessage(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Binding* self = Find(hwnd);
    switch (msg) {
    case WM_COMMAND: {
        Binding* b = Find(reinterpret_cast<::HWND>(lParam));
        if (b && !syncing_ && !closing_) Command(*b, HIWORD(wParam));
        return 0;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        Binding* b = Find(header->hwndFrom);
        if (!b || closing_) return 0;
        if (b->control->Kind() == ControlKind::StringGrid) return GridNotify(*b, *header);
        if (b->control->Kind() == ControlKind::PageControl && header->code == TCN_SELCHANGE &&
            !syncing_) {
            int index = static_cast<int>(SendMessageW(b->hwnd, TCM_GETCURSEL, 0, 0));
            auto& pages = static_cast<TPageControl&>(*b->control);
            Act([&] { pages.SetActivePageIndex(index); });
            ++syncing_;
            SyncPages(*b); // the tab shown stays the model's
            --syncing_;
        }
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        if (::HBRUSH brush =
                ControlColors(reinterpret_cast<::HWND>(lParam), reinterpret_cast<::HDC>(wParam)))
            return reinterpret_cast<LRESULT>(brush);
        break;
    case WM_ERASEBKGND:
    case WM_PRINTCLIENT: {
        RECT area;
        GetClientRect(hwnd, &area);
        FillRect(reinterpret_cast<::HDC>(wParam), &area,
                 Brush(self ? self->control->Color() : clBtnFace));
        return 1;
    }
    case WM_LBUTTONUP:
        if (self && TakesPlainClicks(self->control->Kind())) {
            if (self->releaseOfDoubleClick)
                self->releaseOfDoubleClick = false;
            else
                Act([self] { self->control->Click(); });
        }
        return 0;
    case WM_LBUTTONDBLCLK:
        if (self && TakesPlainClicks(self->control->Kind())) {
            self->releaseOfDoubleClick = true;
            Act([self] { self->control->DblClick(); });
        }
        return 0;
    case DM_GETDEFID:
        if (hwnd == window_ && form_.DefaultButton)
            if (auto it = byControl_.find(form_.DefaultButton); it != byControl_.end())
                return MAKELRESULT(GetDlgCtrlID(it->second->hwnd), DC_HASDEFID);
        return 0;
    case WM_CLOSE:
        if (hwnd == window_) {
            if (OnClose)
                OnClose();
            else
                Destroy();
            return 0;
        }
        break;
    case WM_SIZE:
        if (hwnd == window_ && statusBar_) SendMessageW(statusBar_, WM_SIZE, 0, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK FormView::ShapeProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<FormView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    Binding* b = view ? view->Find(hwnd) : nullptr;
    if (!b) return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        ::HDC dc = BeginPaint(hwnd, &paint);
        view->PaintShape(*b, dc);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        view->PaintShape(*b, reinterpret_cast<::HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return view->ContainerMessage(hwnd, msg, wParam, lParam);
    }
}

void FormView::PaintShape(Binding& b, ::HDC dc) {
    auto& shape = static_cast<TShape&>(*b.control);
    RECT area;
    GetClientRect(b.hwnd, &area);
    constexpr int PenWidth = 2;
    FillRect(dc, &area, Brush(shape.PenColor()));
    InflateRect(&area, -PenWidth, -PenWidth);
    FillRect(dc, &area, Brush(shape.BrushColor()));
}

LRESULT CALLBACK FormView::ControlProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR data) {
    auto* view = reinterpret_cast<FormView*>(data);
    Binding* b = view->Find(hwnd);
    if (!b || view->closing_) return DefSubclassProc(hwnd, msg, wParam, lParam);
    return view->ControlMessage(*b, hwnd, msg, wParam, lParam);
}

LRESULT FormView::ControlMessage(Binding& b, ::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Control& c = *b.control;
    if (msg == WM_CONTEXTMENU && hwnd == b.hwnd && OnContextMenu &&
        (c.Kind() == ControlKind::StringGrid || c.Kind() == ControlKind::Memo)) {
        ContextMenu(b, lParam);
        return 0;
    }
    if (msg == WM_CHAR && c.Kind() == ControlKind::Memo && !static_cast<TMemo&>(c).ReadOnly) {
        // Typed characters go to the model, which puts them at its caret; the rest of
        // the editing (caret moves, selection, copy, paste, delete) is the editor's.
        const wchar_t typed = static_cast<wchar_t>(wParam);
        const bool ctrl = GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0; // AltGr types
        if (typed == L'\r' || typed == L'\b' ||
            (!ctrl && typed >= 0x20 && typed != 0x7F && typed <= 0xFF)) {
            MemoKey(b, static_cast<char>(typed));
            return 0;
        }
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_CHAR) {
        auto* typing = dynamic_cast<TTypingControl*>(&c);
        const wchar_t typed = static_cast<wchar_t>(wParam);
        if (typed == L'\r') return 0; // Enter went to the form's rule; no beep
        if (typing && typing->OnKeyPress && typed >= 0x20 && typed != 0x7F && typed <= 0xFF) {
            char key = static_cast<char>(typed);
            Act([&] { typing->OnKeyPress(key); });
            if (key == 0) return 0; // the handler swallowed the key
            wParam = static_cast<unsigned char>(key);
        }
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    if (c.Kind() == ControlKind::Memo && hwnd == b.hwnd) {
        if (msg == WM_LBUTTONUP) {
            LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
            auto& memo = static_cast<TMemo&>(c);
            DWORD start = 0;
            SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
            if (b.releaseOfDoubleClick) {
                b.releaseOfDoubleClick = false;
            } else {
                Act([&] {
                    memo.SetSelStart(start);
                    memo.Click();
                });
            }
            return result;
        }
        if (msg == WM_LBUTTONDBLCLK) {
            LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
            b.releaseOfDoubleClick = true;
            Act([&c] { c.DblClick(); });
            return result;
        }
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

void FormView::ContextMenu(Binding& b, LPARAM at) {
    // From the keyboard the point is -1, -1: the menu opens at the control's corner.
    const bool fromKeyboard = at == -1;
    POINT screen{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (fromKeyboard) {
        RECT area;
        GetWindowRect(b.hwnd, &area);
        screen = {area.left + 8, area.top + 8};
    }
    const int row =
        b.control->Kind() == ControlKind::StringGrid ? GridRowAt(b, screen, fromKeyboard) : 0;
    Control& control = *b.control;
    OnContextMenu(control, screen, row);
}

bool FormView::FilterMessage(MSG& message) {
    if (!window_ || closing_ || (message.hwnd != window_ && !IsChild(window_, message.hwnd)))
        return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        Binding* b = Find(message.hwnd);
        if (b && b->control->Kind() != ControlKind::Memo) {
            // The form's rule, as in the runner: a focused button takes Enter itself,
            // elsewhere Enter is the window's (its default button).
            Control& c = *b->control;
            Act([&] { form_.KeyPress(c, KeyReturn); });
            return true;
        }
    }
    return IsDialogMessageW(window_, &message) != 0;
}

} // namespace winui
