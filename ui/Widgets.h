#pragma once
// The widgets that Qt does not have as the control model needs them: the shape, the
// monitor memo that hands its keys to the model, the readings grid over the model's
// cells, the page control whose untitled page can still be clicked, the typing
// limit, and the main window that reports its closing.
#include "winsys/Controls.h"

#include <QAbstractTableModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableView>
#include <QValidator>
#include <QWidget>

#include <functional>

class QLineEdit;

namespace ui {

// A rectangle filled with the brush colour and outlined with the pen colour.
class ShapeWidget : public QWidget {
  public:
    explicit ShapeWidget(QWidget* parent) : QWidget(parent) {}
    void SetColors(QColor brush, QColor pen);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor brush_ = Qt::white, pen_ = Qt::black;
};

// The monitor: typed characters go to OnTypedKey (the model inserts them at its
// caret); everything else (caret moves, selection, copy, paste, delete) is the
// editor's own. Mouse clicks and double clicks are reported.
class MemoWidget : public QPlainTextEdit {
  public:
    explicit MemoWidget(QWidget* parent);
    std::function<void(char key)> OnTypedKey;
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    bool releaseOfDoubleClick_ = false;
};

// The cells of a TStringGrid below and right of its fixed row and column; the fixed
// cells are the headers.
class GridModel : public QAbstractTableModel {
  public:
    explicit GridModel(const winsys::TStringGrid& grid, QObject* parent = nullptr)
        : QAbstractTableModel(parent), grid_(grid) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The model's cell (col, row) changed.
    void CellChanged(int col, int row);
    // Whether the grid's cell (col, row) holds the text of a bad outcome, drawn in red.
    std::function<bool(int col, int row)> BadValue;

  private:
    const winsys::TStringGrid& grid_;
};

// The grid's view: fixed column widths and row height, the corner cell as a label.
class GridView : public QTableView {
  public:
    GridView(const winsys::TStringGrid& grid, QWidget* parent);
    GridModel* Model() const { return model_; }
    QLabel* Corner() const { return corner_; }
    // Selects and shows the model's row.
    void ShowRow(int modelRow);

  protected:
    void updateGeometries() override;

  private:
    const winsys::TStringGrid& grid_;
    GridModel* model_;
    QLabel* corner_;
};

// A page control whose pages' tabs have a usable width even without a caption.
class PagesWidget : public QTabWidget {
  public:
    explicit PagesWidget(QWidget* parent);
};

// The operator's typing limit: a keystroke that would make the text longer than
// the limit is refused; shortening a longer text set by the program stays possible.
class LengthValidator : public QValidator {
  public:
    LengthValidator(QLineEdit* edit, int maxLength);
    State validate(QString& input, int& pos) const override;

  private:
    QLineEdit* edit_;
    int maxLength_;
};

// The main window: reports the operator's closing before it hides.
class FormWindow : public QWidget {
  public:
    FormWindow() = default;
    std::function<void()> OnClose;

  protected:
    void closeEvent(QCloseEvent* event) override;
};

} // namespace ui
