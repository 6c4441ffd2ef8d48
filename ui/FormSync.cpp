// FormView, the model's side: each control's changes brought to its widget.
#include "ui/FormView.h"

#include "tool/StatusLine.h"
#include "ui/MemoText.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTextCursor>

#include <algorithm>

namespace ui {

using namespace winsys;

namespace {

// Sets an edit's text, keeping the caret where it was as far as the text allows.
void SetLineText(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return;
    int pos = edit->cursorPosition();
    edit->setText(text);
    edit->setCursorPosition(std::min<int>(pos, static_cast<int>(text.size())));
}

// Sets a background colour role; for the window role, whether the widget fills it.
void SetBackground(QWidget* w, QPalette::ColorRole role, TColor color, bool fill) {
    QPalette palette = w->palette();
    palette.setColor(role, ToQt(color));
    w->setPalette(palette);
    if (role == QPalette::Window) w->setAutoFillBackground(fill);
}

} // namespace

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
        if (b.pages)
            b.pages->setTabToolTip(b.pages->indexOf(b.widget), ToQt(b.control->Hint()));
        else
            b.widget->setToolTip(ToQt(b.control->Hint()));
        break;
    case Change::Cell: {
        auto& grid = static_cast<TStringGrid&>(*b.control);
        auto* view = static_cast<GridView*>(b.widget);
        if (grid.ChangedRow() < grid.FixedRows && grid.ChangedCol() < grid.FixedCols)
            view->Corner()->setText(ToQt(grid.Cell(grid.ChangedCol(), grid.ChangedRow())));
        else
            view->Model()->CellChanged(grid.ChangedCol(), grid.ChangedRow());
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
    case ControlKind::ComboBox:
        SyncCombo(b);
        break;
    case ControlKind::StringGrid: {
        auto& grid = static_cast<TStringGrid&>(c);
        static_cast<GridView*>(b.widget)->Corner()->setText(ToQt(grid.Cell(0, 0)));
        Sync(b, Change::Row);
        break;
    }
    case ControlKind::Memo:
        SyncMemoCaret(b, false);
        break;
    case ControlKind::BitBtn:
        SyncGlyph(b);
        break;
    case ControlKind::PageControl:
        Sync(b, Change::ActivePage);
        break;
    default:
        break;
    }
}

void FormView::SyncText(Binding& b) {
    Control& c = *b.control;
    QString text = ToQt(c.Text());
    switch (c.Kind()) {
    case ControlKind::Form:
        b.widget->setWindowTitle(text);
        break;
    case ControlKind::TabSheet:
        if (b.pages) b.pages->setTabText(b.pages->indexOf(b.widget), text);
        break;
    case ControlKind::Panel:
    case ControlKind::GroupBox:
        static_cast<QGroupBox*>(b.widget)->setTitle(text);
        break;
    case ControlKind::Button:
    case ControlKind::BitBtn:
        static_cast<QPushButton*>(b.widget)->setText(text);
        break;
    case ControlKind::Label:
        static_cast<QLabel*>(b.widget)->setText(text);
        break;
    case ControlKind::StatusBar:
        static_cast<QLabel*>(b.widget)->setText(ToQt(tool::StatusLine(c.Text())));
        break;
    case ControlKind::Edit:
        SetLineText(static_cast<QLineEdit*>(b.widget), text);
        break;
    case ControlKind::ComboBox:
        SyncCombo(b);
        break;
    case ControlKind::Memo:
        SyncMemoText(b);
        break;
    default:
        break;
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
        SetBackground(b.widget, QPalette::Window, color,
                      b.look == tool::Look::Lamp || color != beneath);
        break;
    }
    case ControlKind::StatusBar:
        SetBackground(b.widget, QPalette::Window, color, true);
        break;
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
    case ControlKind::StringGrid:
        SetBackground(b.widget, QPalette::Base, color, false);
        break;
    case ControlKind::Shape: {
        auto& shape = static_cast<TShape&>(c);
        static_cast<ShapeWidget*>(b.widget)->SetColors(ToQt(shape.BrushColor()),
                                                       ToQt(shape.PenColor()));
        break;
    }
    default:
        break; // buttons keep the style's face
    }
}

void FormView::SyncVisible(Binding& b) {
    Control& c = *b.control;
    switch (c.Kind()) {
    case ControlKind::Form:
        break; // the window is shown by its owner
    case ControlKind::TabSheet:
        if (b.pages) b.pages->setTabVisible(b.pages->indexOf(b.widget), c.Visible());
        break;
    default:
        b.widget->setVisible(c.Visible());
        break;
    }
}

void FormView::SyncCombo(Binding& b) {
    auto& combo = static_cast<TComboBox&>(*b.control);
    auto* box = static_cast<QComboBox*>(b.widget);
    const auto& items = combo.Items();
    bool same = box->count() == static_cast<int>(items.size());
    for (int i = 0; same && i < box->count(); ++i)
        same = box->itemText(i) == ToQt(items[i]);
    if (!same) {
        box->clear();
        for (const std::string& item : items)
            box->addItem(ToQt(item));
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
    while (prefix < limit && now[prefix] == shown[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < limit - prefix &&
           now[now.size() - 1 - suffix] == shown[shown.size() - 1 - suffix])
        ++suffix;
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
    QImage image =
        QImage::fromData(glyph.fileBytes.data(), static_cast<int>(glyph.fileBytes.size()));
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
