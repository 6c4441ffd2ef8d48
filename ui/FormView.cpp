#include "ui/FormView.h"

#include "ui/QtText.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace ui {

using namespace winsys;

namespace {

// The memo's text as the editor holds it: CR LF (or a lone CR) is one line break.
QString MemoDisplay(const std::string& text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            out += QChar(u'\n');
        } else {
            out += QChar(c);
        }
    }
    return out;
}

bool CrOfCrLf(const std::string& text, size_t i) {
    return text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
}

// The editor's position of the model's byte position.
int DisplayPos(const std::string& text, size_t pos) {
    int d = 0;
    for (size_t i = 0; i < std::min(pos, text.size()); ++i)
        if (!CrOfCrLf(text, i)) ++d;
    return d;
}

// The model's byte position of the editor's position.
size_t ModelPos(const std::string& text, int displayPos) {
    size_t i = 0;
    for (int d = 0; i < text.size() && d < displayPos; ++d) i += CrOfCrLf(text, i) ? 2 : 1;
    return i;
}

// The editor's raw text (paragraphs separated by U+2029) in the model's form.
std::string FromDisplay(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        char16_t u = c.unicode();
        if (u == u'\n' || u == 0x2029) out += "\r\n";
        else out += u <= 0xFF ? static_cast<char>(u) : '?';
    }
    return out;
}

void SetLineText(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return;
    int pos = edit->cursorPosition();
    edit->setText(text);
    edit->setCursorPosition(std::min<int>(pos, static_cast<int>(text.size())));
}

void SetBackground(QWidget* w, QPalette::ColorRole role, TColor color, bool fill) {
    QPalette palette = w->palette();
    palette.setColor(role, ToQt(color));
    w->setPalette(palette);
    if (role == QPalette::Window) w->setAutoFillBackground(fill);
}

// Controls that take clicks as a whole, with no click signal of their own.
bool TakesPlainClicks(ControlKind kind) {
    switch (kind) {
    case ControlKind::Form:
    case ControlKind::TabSheet:
    case ControlKind::Panel:
    case ControlKind::GroupBox:
    case ControlKind::Label:
    case ControlKind::StatusBar:
    case ControlKind::Shape: return true;
    default: return false;
    }
}

bool IsReturn(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

class FormView::EventFilter : public QObject {
  public:
    explicit EventFilter(FormView& view) : view_(view) {}
    bool eventFilter(QObject* watched, QEvent* event) override { return view_.Filter(watched, event); }

  private:
    FormView& view_;
};

FormView::FormView(TApplication& application, TForm& form, LoopBridge& bridge)
    : application_(application), form_(form), bridge_(bridge), filter_(std::make_unique<EventFilter>(*this)) {
    for (Control* control : form.AllControls())
        if (control->Kind() != ControlKind::Timer) Create(*control);
}

FormView::~FormView() {
    closing_ = true;
    for (auto& b : bindings_) b->control->RemoveObserver(b->observer);
    delete window_;
}

QWidget* FormView::WidgetOf(const std::string& name) const {
    Control* control = form_.FindControl(name);
    auto it = byControl_.find(control);
    return it == byControl_.end() ? nullptr : it->second->widget;
}

void FormView::Create(Control& control) {
    auto owned = std::make_unique<Binding>();
    Binding& b = *owned;
    b.control = &control;
    const Placement* place = FindPlacement(control.Name());
    if (!place) unplaced_.push_back(control.Name());
    if (place) b.look = place->look;

    QWidget* parent = nullptr;
    if (control.Parent()) {
        auto it = byControl_.find(control.Parent());
        parent = it != byControl_.end() ? it->second->widget : window_;
    }
    ++syncing_;
    b.widget = MakeWidget(b, parent);
    if (place && control.Kind() != ControlKind::TabSheet) {
        if (control.Kind() == ControlKind::Form) b.widget->setFixedSize(place->width, place->height);
        else b.widget->setGeometry(place->left, place->top, place->width, place->height);
    }
    for (const Decoration& d : Decorations()) {
        if (control.Name() != d.parent) continue;
        QWidget* decoration;
        if (d.frame) decoration = new QGroupBox(ToQt(std::string(d.text)), b.widget);
        else decoration = new QLabel(ToQt(std::string(d.text)), b.widget);
        decoration->setGeometry(d.left, d.top, d.width, d.height);
        decoration->lower();
    }
    byControl_[&control] = &b;
    byObject_[b.widget] = &b;
    b.widget->installEventFilter(filter_.get());
    if (auto* combo = qobject_cast<QComboBox*>(b.widget); combo && combo->lineEdit()) {
        byObject_[combo->lineEdit()] = &b;
        combo->lineEdit()->installEventFilter(filter_.get());
    }
    SyncAll(b);
    --syncing_;
    Connect(b);
    b.observer = control.AddObserver([this, &b](Control&, Change change) { Sync(b, change); });
    bindings_.push_back(std::move(owned));
}

QWidget* FormView::MakeWidget(Binding& b, QWidget* parent) {
    Control& c = *b.control;
    switch (c.Kind()) {
    case ControlKind::Form:
        window_ = new FormWindow;
        return window_;
    case ControlKind::PageControl:
        return new PagesWidget(parent);
    case ControlKind::TabSheet: {
        auto* page = new QWidget;
        b.pages = qobject_cast<QTabWidget*>(parent);
        if (b.pages) b.pages->addTab(page, ToQt(c.Text()));
        else page->setParent(parent);
        return page;
    }
    case ControlKind::Panel:
    case ControlKind::GroupBox:
        return new QGroupBox(parent);
    case ControlKind::Button:
    case ControlKind::BitBtn: {
        auto* button = new QPushButton(parent);
        button->setAutoDefault(false);
        return button;
    }
    case ControlKind::Label: {
        auto* label = new QLabel(parent);
        label->setTextFormat(Qt::PlainText);
        if (b.look == Look::Lamp) {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setAlignment(Qt::AlignCenter);
        } else {
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
        if (b.look == Look::Title) {
            QFont font = label->font();
            font.setBold(true);
            label->setFont(font);
        }
        return label;
    }
    case ControlKind::Edit: {
        auto& edit = static_cast<TEdit&>(c);
        auto* line = new QLineEdit(parent);
        line->setReadOnly(edit.ReadOnly);
        if (edit.MaxLength > 0) line->setValidator(new LengthValidator(line, edit.MaxLength));
        return line;
    }
    case ControlKind::ComboBox: {
        auto& combo = static_cast<TComboBox&>(c);
        auto* box = new QComboBox(parent);
        if (combo.Style != TComboBoxStyle::csDropDownList) {
            box->setEditable(true);
            box->setInsertPolicy(QComboBox::NoInsert);
            box->setCompleter(nullptr); // the window system's combo boxes do not complete
            box->lineEdit()->setReadOnly(combo.ReadOnly);
            if (combo.MaxLength > 0)
                box->lineEdit()->setValidator(new LengthValidator(box->lineEdit(), combo.MaxLength));
        }
        return box;
    }
    case ControlKind::StringGrid: {
        auto* view = new GridView(static_cast<TStringGrid&>(c), parent);
        QFont font = view->font();
        font.setPixelSize(10); // the grid's rows are 14 pixels high
        view->setFont(font);
        return view;
    }
    case ControlKind::Memo: {
        auto* memo = new MemoWidget(parent);
        memo->setReadOnly(static_cast<TMemo&>(c).ReadOnly);
        QFont font("DejaVu Sans Mono"); // replies in hexadecimal line up
        font.setStyleHint(QFont::Monospace);
        font.setPixelSize(11);
        memo->setFont(font);
        return memo;
    }
    case ControlKind::StatusBar: {
        auto* bar = new QLabel(parent);
        bar->setTextFormat(Qt::PlainText);
        bar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->setIndent(4);
        return bar;
    }
    case ControlKind::Shape:
        return new ShapeWidget(parent);
    case ControlKind::Timer:
        break;
    }
    return new QWidget(parent);
}

void FormView::Connect(Binding& b) {
    Control& c = *b.control;
    switch (c.Kind()) {
    case ControlKind::PageControl: {
        auto* pages = static_cast<QTabWidget*>(b.widget);
        QObject::connect(pages, &QTabWidget::currentChanged, [this, &c](int index) {
            if (syncing_ || closing_) return;
            Act([&c, index] { static_cast<TPageControl&>(c).SetActivePageIndex(index); });
        });
        break;
    }
    case ControlKind::Button:
    case ControlKind::BitBtn:
        QObject::connect(static_cast<QPushButton*>(b.widget), &QPushButton::clicked, [this, &c] {
            if (!syncing_) Act([&c] { c.Click(); });
        });
        break;
    case ControlKind::Edit:
        QObject::connect(static_cast<QLineEdit*>(b.widget), &QLineEdit::textEdited, [this, &b](const QString& text) {
            if (syncing_) return;
            Type(b, [&] {
                auto& edit = static_cast<TEdit&>(*b.control);
                std::string typed = FromQt(text);
                // The widget refuses keys beyond the limit; a text still longer is one
                // the program set and the operator shortened, which the limit leaves be.
                if (edit.MaxLength > 0 && typed.size() > static_cast<size_t>(edit.MaxLength)) edit.SetText(typed);
                else edit.TypeText(typed);
            });
        });
        break;
    case ControlKind::ComboBox: {
        auto* box = static_cast<QComboBox*>(b.widget);
        auto& combo = static_cast<TComboBox&>(c);
        QObject::connect(box, &QComboBox::activated, [this, &b, &combo](int index) {
            if (!syncing_) Type(b, [&] { combo.Select(index); });
        });
        if (box->lineEdit()) {
            QObject::connect(box->lineEdit(), &QLineEdit::textEdited, [this, &b, &combo](const QString& text) {
                if (!syncing_) Type(b, [&] { combo.TypeText(FromQt(text)); });
            });
        }
        break;
    }
    case ControlKind::StringGrid: {
        auto* view = static_cast<GridView*>(b.widget);
        auto& grid = static_cast<TStringGrid&>(c);
        QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged,
                         [this, &grid](const QModelIndex& current, const QModelIndex&) {
                             if (syncing_ || closing_ || !current.isValid()) return;
                             Act([&] { grid.SetRow(current.row() + grid.FixedRows); });
                         });
        QObject::connect(view, &QAbstractItemView::clicked, [this, &grid](const QModelIndex& index) {
            if (syncing_) return;
            Act([&] {
                grid.SetRow(index.row() + grid.FixedRows);
                grid.Click();
            });
        });
        QObject::connect(view, &QAbstractItemView::doubleClicked, [this, &grid](const QModelIndex& index) {
            if (syncing_) return;
            Act([&] {
                grid.SetRow(index.row() + grid.FixedRows); // the clicked row first
                grid.DblClick();
            });
        });
        break;
    }
    case ControlKind::Memo: {
        auto* widget = static_cast<MemoWidget*>(b.widget);
        auto& memo = static_cast<TMemo&>(c);
        widget->OnTypedKey = [this, &b](char key) {
            if (!syncing_) MemoKey(b, key);
        };
        widget->OnClick = [this, &c] { Act([&c] { c.Click(); }); };
        widget->OnDblClick = [this, &c] { Act([&c] { c.DblClick(); }); };
        QObject::connect(widget, &QPlainTextEdit::cursorPositionChanged, [this, widget, &memo] {
            if (syncing_ || closing_) return;
            Act([&] { memo.SetSelStart(ModelPos(memo.Text(), widget->textCursor().position())); });
        });
        // Edits that are not typed keys (paste, cut, delete): the editor made them;
        // the model takes the whole text.
        QObject::connect(widget, &QPlainTextEdit::textChanged, [this, &b, widget, &memo] {
            if (syncing_ || closing_) return;
            b.memoShown = widget->document()->toRawText().replace(QChar(0x2029), QChar(u'\n'));
            Type(b, [&] {
                memo.TypeText(FromDisplay(b.memoShown));
                memo.SetSelStart(ModelPos(memo.Text(), widget->textCursor().position()));
            });
        });
        break;
    }
    default:
        break;
    }
}

void FormView::Act(const std::function<void()>& action) {
    try {
        application_.Guard(action);
    } catch (...) {
        application_.Errors().Show("An unexpected error ended the action");
    }
    bridge_.Rearm();
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
    auto* widget = static_cast<MemoWidget*>(b.widget);
    Act([&] {
        QTextCursor cursor = widget->textCursor();
        if (cursor.hasSelection()) {
            // A key typed over a selection replaces it, as in any editor.
            int start = cursor.selectionStart(), end = cursor.selectionEnd();
            memo.TypeText(FromDisplay(b.memoShown.left(start) + b.memoShown.mid(end)));
            memo.SetSelStart(ModelPos(memo.Text(), start));
            if (key == '\b') {
                if (memo.OnKeyPress) memo.OnKeyPress(key);
                return;
            }
        }
        form_.KeyPress(memo, key);
    });
}

bool FormView::Filter(QObject* watched, QEvent* event) {
    if (closing_) return false;
    auto it = byObject_.find(watched);
    if (it == byObject_.end()) return false;
    Binding& b = *it->second;
    Control& c = *b.control;
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (c.Kind() == ControlKind::Memo) return false; // the memo takes its own keys
        if (IsReturn(key) && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            // A focused button takes Enter itself; elsewhere Enter is the window's.
            if (c.Kind() == ControlKind::Button || c.Kind() == ControlKind::BitBtn) Act([&c] { c.Click(); });
            else Act([&] { form_.KeyPress(c, KeyReturn); });
            return true;
        }
        auto* typing = dynamic_cast<TTypingControl*>(&c);
        if (typing && typing->OnKeyPress && key->text().size() == 1) {
            char16_t u = key->text()[0].unicode();
            if (u < 0x20 || u > 0xFF || u == 0x7F) return false;
            char typed = static_cast<char>(u);
            Act([&] { typing->OnKeyPress(typed); });
            return typed == 0; // the handler swallowed the key
        }
        return false;
    }
    case QEvent::MouseButtonRelease: {
        if (!TakesPlainClicks(c.Kind())) return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return false;
        if (b.widget->rect().contains(b.widget->mapFromGlobal(mouse->globalPosition().toPoint())))
            Act([&c] { c.Click(); });
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        if (!TakesPlainClicks(c.Kind())) return false;
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
        Act([&c] { c.DblClick(); });
        return true;
    }
    default:
        return false;
    }
}

void FormView::Sync(Binding& b, Change change) {
    if (closing_) return;
    ++syncing_;
    switch (change) {
    case Change::Text:
        if (typing_ != &b) SyncText(b);
        break;
    case Change::Items:
    case Change::ItemIndex:
        if (typing_ != &b) SyncCombo(b);
        break;
    case Change::Color:
    case Change::Brush:
    case Change::Pen:
        SyncColor(b);
        break;
    case Change::Visible:
        SyncVisible(b);
        break;
    case Change::Enabled:
        if (b.pages) {
            b.pages->setTabEnabled(b.pages->indexOf(b.widget), b.control->Enabled());
        } else {
            b.widget->setEnabled(b.control->Enabled());
        }
        break;
    case Change::Hint:
        if (b.pages) b.pages->setTabToolTip(b.pages->indexOf(b.widget), ToQt(b.control->Hint()));
        else b.widget->setToolTip(ToQt(b.control->Hint()));
        break;
    case Change::Cell: {
        auto& grid = static_cast<TStringGrid&>(*b.control);
        auto* view = static_cast<GridView*>(b.widget);
        if (grid.ChangedRow() < grid.FixedRows && grid.ChangedCol() < grid.FixedCols)
            view->Corner()->setText(ToQt(grid.Cell(grid.ChangedCol(), grid.ChangedRow())));
        else view->Model()->CellChanged(grid.ChangedCol(), grid.ChangedRow());
        break;
    }
    case Change::Row:
        static_cast<GridView*>(b.widget)->ShowRow(static_cast<TStringGrid&>(*b.control).Row());
        break;
    case Change::Caret:
        if (typing_ != &b) SyncMemoCaret(b, true);
        break;
    case Change::Glyph:
        SyncGlyph(b);
        break;
    case Change::Front:
        b.widget->raise();
        break;
    case Change::ActivePage: {
        auto& pages = static_cast<TPageControl&>(*b.control);
        static_cast<QTabWidget*>(b.widget)->setCurrentIndex(pages.ActivePageIndex());
        break;
    }
    }
    --syncing_;
}

void FormView::SyncAll(Binding& b) {
    Control& c = *b.control;
    SyncText(b);
    SyncColor(b);
    SyncVisible(b);
    Sync(b, Change::Enabled);
    Sync(b, Change::Hint);
    switch (c.Kind()) {
    case ControlKind::ComboBox: SyncCombo(b); break;
    case ControlKind::StringGrid: {
        auto& grid = static_cast<TStringGrid&>(c);
        static_cast<GridView*>(b.widget)->Corner()->setText(ToQt(grid.Cell(0, 0)));
        Sync(b, Change::Row);
        break;
    }
    case ControlKind::Memo: SyncMemoCaret(b, false); break;
    case ControlKind::BitBtn: SyncGlyph(b); break;
    case ControlKind::PageControl: Sync(b, Change::ActivePage); break;
    default: break;
    }
}

void FormView::SyncText(Binding& b) {
    Control& c = *b.control;
    QString text = ToQt(c.Text());
    switch (c.Kind()) {
    case ControlKind::Form: b.widget->setWindowTitle(text); break;
    case ControlKind::TabSheet:
        if (b.pages) b.pages->setTabText(b.pages->indexOf(b.widget), text);
        break;
    case ControlKind::Panel:
    case ControlKind::GroupBox: static_cast<QGroupBox*>(b.widget)->setTitle(text); break;
    case ControlKind::Button:
    case ControlKind::BitBtn: static_cast<QPushButton*>(b.widget)->setText(text); break;
    case ControlKind::Label:
    case ControlKind::StatusBar: static_cast<QLabel*>(b.widget)->setText(text); break;
    case ControlKind::Edit: SetLineText(static_cast<QLineEdit*>(b.widget), text); break;
    case ControlKind::ComboBox: SyncCombo(b); break;
    case ControlKind::Memo: SyncMemoText(b); break;
    default: break;
    }
}

void FormView::SyncColor(Binding& b) {
    Control& c = *b.control;
    TColor color = c.Color();
    switch (c.Kind()) {
    case ControlKind::Label: {
        // A lamp always shows its colour; a plain label only where it differs from
        // what lies beneath, so that texts over a coloured frame stay readable.
        TColor beneath = c.Parent() ? c.Parent()->Color() : clBtnFace;
        SetBackground(b.widget, QPalette::Window, color, b.look == Look::Lamp || color != beneath);
        break;
    }
    case ControlKind::StatusBar: SetBackground(b.widget, QPalette::Window, color, true); break;
    case ControlKind::Form:
    case ControlKind::Panel:
    case ControlKind::GroupBox:
    case ControlKind::TabSheet:
        if (color != clBtnFace || b.widget->autoFillBackground())
            SetBackground(b.widget, QPalette::Window, color, true);
        break;
    case ControlKind::Edit:
    case ControlKind::ComboBox:
    case ControlKind::Memo:
    case ControlKind::StringGrid: SetBackground(b.widget, QPalette::Base, color, false); break;
    case ControlKind::Shape: {
        auto& shape = static_cast<TShape&>(c);
        static_cast<ShapeWidget*>(b.widget)->SetColors(ToQt(shape.BrushColor()), ToQt(shape.PenColor()));
        break;
    }
    default: break; // buttons keep the style's face
    }
}

void FormView::SyncVisible(Binding& b) {
    Control& c = *b.control;
    switch (c.Kind()) {
    case ControlKind::Form: break; // the window is shown by its owner
    case ControlKind::TabSheet:
        if (b.pages) b.pages->setTabVisible(b.pages->indexOf(b.widget), c.Visible());
        break;
    default: b.widget->setVisible(c.Visible()); break;
    }
}

void FormView::SyncCombo(Binding& b) {
    auto& combo = static_cast<TComboBox&>(*b.control);
    auto* box = static_cast<QComboBox*>(b.widget);
    const auto& items = combo.Items();
    bool same = box->count() == static_cast<int>(items.size());
    for (int i = 0; same && i < box->count(); ++i) same = box->itemText(i) == ToQt(items[i]);
    if (!same) {
        box->clear();
        for (const std::string& item : items) box->addItem(ToQt(item));
    }
    QString text = ToQt(combo.Text());
    QLineEdit* line = box->lineEdit();
    int pos = line ? line->cursorPosition() : 0;
    if (box->currentIndex() != combo.ItemIndex()) box->setCurrentIndex(combo.ItemIndex());
    if (line && line->text() != text) {
        line->setText(text);
        line->setCursorPosition(std::min<int>(pos, static_cast<int>(text.size())));
    }
}

void FormView::SyncMemoText(Binding& b) {
    auto& memo = static_cast<TMemo&>(*b.control);
    auto* widget = static_cast<MemoWidget*>(b.widget);
    QString now = MemoDisplay(memo.Text());
    const QString& shown = b.memoShown;
    if (now == shown) return;
    // Replace only what changed, so that an append neither rebuilds the document nor
    // moves the view.
    qsizetype prefix = 0, limit = std::min(now.size(), shown.size());
    while (prefix < limit && now[prefix] == shown[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < limit - prefix && now[now.size() - 1 - suffix] == shown[shown.size() - 1 - suffix]) ++suffix;
    QTextCursor edit(widget->document());
    edit.setPosition(static_cast<int>(prefix));
    edit.setPosition(static_cast<int>(shown.size() - suffix), QTextCursor::KeepAnchor);
    edit.insertText(now.mid(prefix, now.size() - suffix - prefix));
    b.memoShown = now;
    SyncMemoCaret(b, false);
}

// scroll: bring the caret into view even where it did not move.
void FormView::SyncMemoCaret(Binding& b, bool scroll) {
    auto& memo = static_cast<TMemo&>(*b.control);
    auto* widget = static_cast<MemoWidget*>(b.widget);
    int pos = DisplayPos(memo.Text(), memo.SelStart());
    QTextCursor cursor = widget->textCursor();
    if (cursor.position() != pos || cursor.hasSelection()) {
        cursor.setPosition(pos);
        widget->setTextCursor(cursor); // this scrolls it into view
    } else if (scroll) {
        widget->ensureCursorVisible();
    }
}

void FormView::SyncGlyph(Binding& b) {
    const Bitmap& glyph = static_cast<TBitBtn&>(*b.control).Glyph();
    auto* button = static_cast<QPushButton*>(b.widget);
    QImage image = QImage::fromData(glyph.fileBytes.data(), static_cast<int>(glyph.fileBytes.size()));
    if (image.isNull()) {
        button->setIcon(QIcon());
        return;
    }
    // As on the window system's bitmap buttons, the colour of the bottom left pixel
    // is transparent.
    QRgb key = image.pixel(0, image.height() - 1);
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == key) image.setPixel(x, y, qRgba(0, 0, 0, 0));
    button->setIcon(QIcon(QPixmap::fromImage(image)));
    button->setIconSize(image.size());
}

} // namespace ui
