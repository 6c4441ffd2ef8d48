#pragma once
// The main window on the Windows desktop: one native control per control of a TForm,
// placed by the layout table, kept in step with the control model both ways.
//
// Model to window: every control's observer brings its native control up to date at
// once (text, colour, visibility, enabled state, tooltip, items and index, cells and
// selected row, memo text and caret, shape colours, glyph, z-order, active page).
// Window to model: the operator's actions become the model's operator actions (Click,
// DblClick, TypeText, Select, TForm::KeyPress, TStringGrid::SetRow,
// TMemo::SetSelStart), each run through TApplication::Guard, so an error shows in the
// error display. The loop's timers keep their own window timer, so nothing needs
// re-arming after an action. Timers have no window.
//
// The native controls: the form a top-level window; frames and pages windows of our
// own class (a group box inside a titled frame) that hand their controls'
// notifications here; BUTTON (bitmap buttons with their glyph beside the caption),
// STATIC, EDIT, COMBOBOX, a report-style list view over the grid's cells, a tab
// control for the pages, the status bar with the counters field at its right, shapes
// of our own class, and one tooltip window for the hints. Keys: Enter goes to the
// form's rule (TForm::KeyPress) except in the memo; Tab and the arrows move the focus
// as in a dialog.
//
// Window thread only. The model outlives the view. FormView.cpp builds the controls
// and takes the operator's actions; FormSync.cpp brings the model's changes;
// GridView.cpp is the readings grid's list view.
#include "tool/MainFormLayout.h"
#include "winsys/Application.h"
#include "winsys/Controls.h"
#include "winsys/Win32.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winui {

class FormView {
  public:
    FormView(winsys::TApplication& application, winsys::TForm& form);
    ~FormView();
    FormView(const FormView&) = delete;
    FormView& operator=(const FormView&) = delete;

    // The main window (nullptr once it is destroyed).
    ::HWND Window() const { return window_; }
    // The native control of a control (a tab sheet's page window, a panel's frame
    // window); nullptr for a timer or an unknown name.
    ::HWND HandleOf(const std::string& name) const;
    // The tooltip window that shows the hints.
    ::HWND Tooltips() const { return tooltips_; }
    // The names of the controls that the layout table does not place.
    const std::vector<std::string>& Unplaced() const { return unplaced_; }

    void Show();
    // Destroys the window; the model stays.
    void Destroy();
    // The operator closes the window (its close box, Alt+F4).
    std::function<void()> OnClose;

    // The operator asks for the context menu of the readings grid or the monitor (the
    // right button, the menu key, Shift+F10): the control, the point on the screen to
    // open it at, and for the grid the row under the pointer (0: none; from the
    // keyboard, the selected row).
    std::function<void(const winsys::Control& control, POINT screen, int row)> OnContextMenu;
    // The status bar's window (nullptr when the form has none).
    ::HWND StatusBar() const { return statusBar_; }

    // What the window draws of the readings' outcomes (ReadingsView sets these): a
    // grid cell's text in red, an edit's text in red, the status bar's right field.
    std::function<bool(int col, int row)> BadCell;
    std::function<bool(const winsys::Control& control)> BadText;
    void SetStatusField(const std::string& text);
    // Draws the control anew (after a change that BadText or BadCell answer for).
    void Redraw(const winsys::Control& control);

    static constexpr int StatusFieldWidth = 300;

  private:
    struct Binding {
        winsys::Control* control = nullptr;
        ::HWND hwnd = nullptr;
        ::HWND frame = nullptr; // a panel's group box
        ::HWND edit = nullptr;  // a combo box's edit field
        ::HWND tabs = nullptr;  // a tab sheet's tab control
        tool::Look look = tool::Look::Plain;
        int observer = 0;
        std::wstring shown;             // an edit or memo's text as its window holds it
        std::vector<std::string> items; // a combo box's items as its window holds them
        ::HBITMAP glyph = nullptr;
        bool releaseOfDoubleClick = false; // a double click's release is no click
    };

    void RegisterClasses();
    void Create(winsys::Control& control);
    ::HWND MakeWindow(Binding& b, ::HWND parent, const tool::Placement* place);
    void Decorate(Binding& b);
    void Layer();
    void AddTooltip(::HWND tool, const std::string& text);
    void RemoveTooltip(::HWND tool);
    Binding* Find(::HWND hwnd) const;

    // FormSync.cpp
    void Sync(Binding& b, winsys::Change change);
    void SyncAll(Binding& b);
    void SyncText(Binding& b);
    void SyncColor(Binding& b);
    void SyncVisible(Binding& b);
    void SyncHint(Binding& b);
    void SyncCombo(Binding& b);
    void SyncMemoText(Binding& b);
    void SyncMemoCaret(Binding& b, bool scroll);
    void SyncGlyph(Binding& b);
    void SyncPages(Binding& pages);
    ::HBRUSH Brush(winsys::TColor color);
    // The answer to a WM_CTLCOLOR... message for a control's window; nullptr when the
    // control is not ours.
    ::HBRUSH ControlColors(::HWND control, ::HDC dc);

    // GridView.cpp
    void MakeGrid(Binding& b);
    void SyncCell(Binding& b);
    void SyncRow(Binding& b);
    LRESULT GridNotify(Binding& b, NMHDR& header);
    // The grid row under a point of the screen (0: none), or the selected row.
    int GridRowAt(Binding& b, POINT screen, bool selected);

    // The operator's side.
    static LRESULT CALLBACK ContainerProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ShapeProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR data);
    LRESULT ContainerMessage(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT ControlMessage(Binding& b, ::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Command(Binding& b, UINT code);
    void ContextMenu(Binding& b, LPARAM at);
    void PaintShape(Binding& b, ::HDC dc);
    bool FilterMessage(MSG& message);
    void Act(const std::function<void()>& action);
    // The same for typing into b's window: b's own text is not pushed back while the
    // model takes it, only afterwards if the model made it differ (a limit, a handler).
    void Type(Binding& b, const std::function<void()>& action);
    void MemoKey(Binding& b, char key);

    winsys::TApplication& application_;
    winsys::TForm& form_;
    ::HWND window_ = nullptr;
    ::HWND tooltips_ = nullptr;
    ::HWND statusBar_ = nullptr;
    ::HFONT font_ = nullptr, boldFont_ = nullptr, gridFont_ = nullptr, memoFont_ = nullptr;
    std::map<winsys::TColor, ::HBRUSH> brushes_;
    std::vector<std::unique_ptr<Binding>> bindings_;
    std::map<const winsys::Control*, Binding*> byControl_;
    std::map<::HWND, Binding*> byWindow_;
    std::vector<std::string> unplaced_;
    std::vector<::HWND> decorations_;
    int syncing_ = 0;           // model-to-window updates under way: notifications are ours
    Binding* typing_ = nullptr; // the control the operator is typing into
    bool closing_ = false;
};

} // namespace winui
