#include "ui/FormView.h"

#include "ui/MemoText.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTextCursor>

#include <algorithm>

namespace ui {

using namespace winsys;

namespace {

// Controls that take clicks as a whole, with no click signal of their own.
bool TakesPlainClicks(ControlKind kind) {
    switch (kind) {
    case ControlKind::Form:
    case ControlKind::TabSheet:
    case ControlKind::Panel:
    case ControlKind::GroupBox:
    case ControlKind::Label:
    case ControlKind::StatusBar:
    case ControlKind::Shape:
        return true;
    default:
        return false;
    }
}

bool IsReturn(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

class FormView::EventFilter : public QObject {
  public:
    explicit EventFilter(FormView& view) : view_(view) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        return view_.Filter(watched, event);
    }

  private:
    FormView& view_;
};

FormView::FormView(TApplication& application, TForm& form, LoopBridge& bridge)
    : application_(application), form_(form), bridge_(bridge),
      filter_(std::make_unique<EventFilter>(*this)) {
    for (Control* control : form.AllControls())
        if (control->Kind() != ControlKind::Timer) Create(*control);
}

FormView::~FormView() {
    closing_ = true;
    for (auto& b : bindings_)
        b->control->RemoveObserver(b->observer);
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
    const tool::Placement* place = tool::FindPlacement(control.Name());
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
        if (control.Kind() == ControlKind::Form)
            b.widget->setFixedSize(place->width, place->height);
        else
            b.widget->setGeometry(place->left, place->top, place->width, place->height);
    }
    for (const tool::Decoration& d : tool::Decorations()) {
        if (control.Name() != d.parent) continue;
        QWidget* decoration;
        if (d.frame)
            decoration = new QGroupBox(ToQt(std::string(d.text)), b.widget);
        else
            decoration = new QLabel(ToQt(std::string(d.text)), b.widget);
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
        if (b.pages)
            b.pages->addTab(page, ToQt(c.Text()));
        else
            page->setParent(parent);
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
        if (b.look == tool::Look::Lamp) {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setAlignment(Qt::AlignCenter);
        } else {
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
        if (b.look == tool::Look::Title) {
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
                box->lineEdit()->setValidator(
                    new LengthValidator(box->lineEdit(), combo.MaxLength));
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
        QObject::connect(static_cast<QLineEdit*>(b.widget), &QLineEdit::textEdited,
                         [this, &b](const QString& text) {
                             if (syncing_) return;
                             Type(b, [&] {
                                 auto& edit = static_cast<TEdit&>(*b.control);
                                 std::string typed = FromQt(text);
                                 // The widget refuses keys beyond the limit; a text still longer is
                                 // one the program set and the operator shortened, which the limit
                                 // leaves be.
                                 if (edit.MaxLength > 0 &&
                                     typed.size() > static_cast<size_t>(edit.MaxLength))
                                     edit.SetText(typed);
                                 else
                                     edit.TypeText(typed);
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
            QObject::connect(box->lineEdit(), &QLineEdit::textEdited,
                             [this, &b, &combo](const QString& text) {
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
        QObject::connect(view, &QAbstractItemView::clicked,
                         [this, &grid](const QModelIndex& index) {
                             if (syncing_) return;
                             Act([&] {
                                 grid.SetRow(index.row() + grid.FixedRows);
                                 grid.Click();
                             });
                         });
        QObject::connect(view, &QAbstractItemView::doubleClicked,
                         [this, &grid](const QModelIndex& index) {
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
            // The form's rule, as in the runner: a focused button takes Enter itself,
            // elsewhere Enter is the window's.
            Act([&] { form_.KeyPress(c, KeyReturn); });
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
        if (b.releaseOfDoubleClick)
            b.releaseOfDoubleClick = false;
        else if (b.widget->rect().contains(
                     b.widget->mapFromGlobal(mouse->globalPosition().toPoint())))
            Act([&c] { c.Click(); });
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        if (!TakesPlainClicks(c.Kind())) return false;
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
        b.releaseOfDoubleClick = true;
        Act([&c] { c.DblClick(); });
        return true;
    }
    default:
        return false;
    }
}

} // namespace ui
