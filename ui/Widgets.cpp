#include "ui/Widgets.h"

#include "ui/QtText.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTabBar>

#include <algorithm>

namespace ui {

void ShapeWidget::SetColors(QColor brush, QColor pen) {
    if (brush == brush_ && pen == pen_) return;
    brush_ = brush;
    pen_ = pen;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    constexpr int PenWidth = 2;
    painter.setPen(QPen(pen_, PenWidth));
    painter.setBrush(brush_);
    painter.drawRect(rect().adjusted(PenWidth / 2, PenWidth / 2, -PenWidth / 2, -PenWidth / 2));
}

MemoWidget::MemoWidget(QWidget* parent) : QPlainTextEdit(parent) {
    // The program rewrites the text all the time; an undo history of that would
    // only grow.
    setUndoRedoEnabled(false);
    setTabChangesFocus(true);
    // A vertical scroll bar only: long replies wrap.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void MemoWidget::keyPressEvent(QKeyEvent* event) {
    if (isReadOnly() || !OnTypedKey) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    bool command = (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier); // AltGr types
    char key = 0;
    if (mods == Qt::NoModifier &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        key = winsys::KeyReturn;
    } else if (mods == Qt::NoModifier && event->key() == Qt::Key_Backspace) {
        key = '\b';
    } else if (!command && event->text().size() == 1) {
        char16_t c = event->text()[0].unicode();
        if (c >= 0x20 && c != 0x7F && c <= 0xFF) key = static_cast<char>(c);
    }
    if (key == 0) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    OnTypedKey(key);
}

void MemoWidget::mouseReleaseEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    if (releaseOfDoubleClick_)
        releaseOfDoubleClick_ = false;
    else if (OnClick)
        OnClick();
}

void MemoWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton) return;
    releaseOfDoubleClick_ = true;
    if (OnDblClick) OnDblClick();
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(0, grid_.RowCount() - grid_.FixedRows);
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(0, grid_.ColCount() - grid_.FixedCols);
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    int col = index.column() + grid_.FixedCols, row = index.row() + grid_.FixedRows;
    if (role == Qt::ForegroundRole && BadValue && BadValue(col, row)) return ToQt(winsys::clRed);
    if (role != Qt::DisplayRole) return {};
    return ToQt(grid_.Cell(col, row));
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal)
        return ToQt(grid_.Cell(section + grid_.FixedCols, grid_.FixedRows - 1));
    return ToQt(grid_.Cell(grid_.FixedCols - 1, section + grid_.FixedRows));
}

void GridModel::CellChanged(int col, int row) {
    int c = col - grid_.FixedCols, r = row - grid_.FixedRows;
    if (r < 0 && c < 0) return; // the corner: the view's label
    if (r < 0)
        emit headerDataChanged(Qt::Horizontal, c, c);
    else if (c < 0)
        emit headerDataChanged(Qt::Vertical, r, r);
    else
        emit dataChanged(index(r, c), index(r, c), {Qt::DisplayRole, Qt::ForegroundRole});
}

GridView::GridView(const winsys::TStringGrid& grid, QWidget* parent)
    : QTableView(parent), grid_(grid), model_(new GridModel(grid, this)),
      corner_(new QLabel(this)) {
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setCornerButtonEnabled(false);
    setWordWrap(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* columns = horizontalHeader();
    columns->setMinimumSectionSize(1);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    columns->setHighlightSections(false);
    columns->setSectionsClickable(false);
    for (int c = grid.FixedCols; c < grid.ColCount() && c < static_cast<int>(grid.ColWidths.size());
         ++c)
        columns->resizeSection(c - grid.FixedCols, grid.ColWidths[c]);
    columns->setFixedHeight(grid.DefaultRowHeight * grid.FixedRows + 1);

    QHeaderView* rows = verticalHeader();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(grid.DefaultRowHeight);
    rows->setHighlightSections(false);
    rows->setSectionsClickable(false);
    rows->setDefaultAlignment(Qt::AlignCenter);
    int fixedWidth = 0;
    for (int c = 0; c < grid.FixedCols && c < static_cast<int>(grid.ColWidths.size()); ++c)
        fixedWidth += grid.ColWidths[c];
    rows->setFixedWidth(fixedWidth);
    rows->setVisible(grid.FixedCols > 0);
    columns->setVisible(grid.FixedRows > 0);

    corner_->setAlignment(Qt::AlignCenter);
    corner_->setAutoFillBackground(true);
    QPalette palette = corner_->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    corner_->setPalette(palette);
    corner_->setFrameStyle(QFrame::Box | QFrame::Plain);
    corner_->setLineWidth(0);
}

void GridView::ShowRow(int modelRow) {
    int r = modelRow - grid_.FixedRows;
    if (r < 0 || r >= model_->rowCount()) {
        clearSelection();
        return;
    }
    selectRow(r);
    scrollTo(model_->index(r, std::max(0, currentIndex().column())));
}

void GridView::updateGeometries() {
    QTableView::updateGeometries();
    QHeaderView* rows = verticalHeader();
    QHeaderView* columns = horizontalHeader();
    corner_->setGeometry(rows->geometry().x(), columns->geometry().y(), rows->width(),
                         columns->height());
    corner_->setVisible(rows->isVisibleTo(this) && columns->isVisibleTo(this));
    corner_->raise();
}

namespace {

class PageTabs : public QTabBar {
  protected:
    QSize tabSizeHint(int index) const override {
        QSize size = QTabBar::tabSizeHint(index);
        size.setWidth(std::max(size.width(), 120));
        return size;
    }
};

} // namespace

PagesWidget::PagesWidget(QWidget* parent) : QTabWidget(parent) {
    setTabBar(new PageTabs);
}

LengthValidator::LengthValidator(QLineEdit* edit, int maxLength)
    : QValidator(edit), edit_(edit), maxLength_(maxLength) {}

QValidator::State LengthValidator::validate(QString& input, int&) const {
    if (input.size() <= maxLength_ || input.size() < edit_->text().size()) return Acceptable;
    return Invalid;
}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (OnClose) OnClose();
    event->accept();
}

} // namespace ui
