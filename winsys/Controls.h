#pragma once
// The control model: the window's controls as plain objects that the tool's logic
// reads and writes and that a front end (the Qt widgets, or the headless runner)
// observes. Every change notifies the control's observers at once.
//
// Program changes (SetText, SetItemIndex...) never apply typing limits; operator
// actions (TypeText, Select, PressKey) do, and fire the events an operator's action
// fires. All of it is window-thread only.
#include "winsys/Bitmap.h"
#include "winsys/Colors.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace winsys {

class TForm;

enum class ControlKind {
    Form,
    PageControl,
    TabSheet,
    Panel,
    GroupBox,
    Button,
    BitBtn,
    Label,
    Edit,
    ComboBox,
    StringGrid,
    Memo,
    StatusBar,
    Shape,
    Timer
};
const char* KindName(ControlKind kind);

enum class Change {
    Text,
    Color,
    Visible,
    Enabled,
    Hint,
    Items,
    ItemIndex,
    Cell,
    Row,
    Caret,
    Brush,
    Pen,
    Glyph,
    Front,
    ActivePage
};

struct Bounds {
    int left = 0, top = 0, width = 0, height = 0;
};

class Control {
  public:
    using Observer = std::function<void(Control&, Change)>;

    Control(ControlKind kind, Control* parent, std::string name, std::string text = {});
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    ControlKind Kind() const { return kind_; }
    const std::string& Name() const { return name_; }
    Control* Parent() const { return parent_; }
    const std::vector<Control*>& Children() const { return children_; }
    TForm* Form() const;

    const std::string& Text() const { return text_; }
    virtual void SetText(const std::string& text);
    // Caption and Text are one property, as on the window system's controls.
    const std::string& Caption() const { return text_; }
    void SetCaption(const std::string& text) { SetText(text); }

    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);
    // Raises the control above its siblings; ZOrder grows with each call.
    void BringToFront();
    int ZOrder() const { return zOrder_; }

    const Bounds& GetBounds() const { return bounds_; }
    void SetBounds(int left, int top, int width, int height) {
        bounds_ = {left, top, width, height};
    }

    // A click as the operator's or the program's: runs OnClick, hidden or not.
    virtual void Click();
    void DblClick();

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;

    int AddObserver(Observer observer);
    void RemoveObserver(int id);

  protected:
    void Notify(Change change);
    std::string text_;

  private:
    ControlKind kind_;
    Control* parent_;
    std::string name_;
    std::string hint_;
    TColor color_ = clBtnFace;
    bool visible_ = true;
    bool enabled_ = true;
    int zOrder_ = 0;
    Bounds bounds_;
    std::vector<Control*> children_;
    std::map<int, Observer> observers_;
    int nextObserver_ = 1;
};

class TButton : public Control {
  public:
    TButton(Control* parent, std::string name, std::string caption)
        : Control(ControlKind::Button, parent, std::move(name), std::move(caption)) {}

  protected:
    TButton(ControlKind kind, Control* parent, std::string name, std::string caption)
        : Control(kind, parent, std::move(name), std::move(caption)) {}
};

class TBitBtn : public TButton {
  public:
    TBitBtn(Control* parent, std::string name, std::string caption)
        : TButton(ControlKind::BitBtn, parent, std::move(name), std::move(caption)) {}
    // Loads the glyph from a BMP file; raises EInvalidGraphic naming the file, and
    // then keeps the previous glyph.
    void LoadGlyph(const std::string& fileName);
    const Bitmap& Glyph() const { return glyph_; }

  private:
    Bitmap glyph_;
};

class TLabel : public Control {
  public:
    TLabel(Control* parent, std::string name, std::string caption)
        : Control(ControlKind::Label, parent, std::move(name), std::move(caption)) {}
};

// Fields that take typed keys: edits, combo boxes and memos.
class TTypingControl : public Control {
  public:
    using Control::Control;
    int MaxLength = 0; // binds the operator's typing only; 0: no limit
    bool ReadOnly = false;
    std::function<void()> OnChange;
    std::function<void(char& key)> OnKeyPress;
    // The operator replaces the whole text by typing: the limit applies, OnChange fires.
    virtual void TypeText(const std::string& text);
    // The operator presses a key in the control; OnKeyPress may change or swallow it
    // (set to 0). True when the control used the key.
    virtual bool PressKey(char key);
    // Whether Enter is this control's own key (a multi-line memo) or goes to the
    // window's default button.
    virtual bool WantsReturn() const { return false; }
};

class TEdit : public TTypingControl {
  public:
    TEdit(Control* parent, std::string name, std::string text, int maxLength = 0)
        : TTypingControl(ControlKind::Edit, parent, std::move(name), std::move(text)) {
        MaxLength = maxLength;
        SetColor(clWindow);
    }
    // Any change of the text fires OnChange, the program's too.
    void SetText(const std::string& text) override;
};

enum class TComboBoxStyle { csDropDown, csSimple, csDropDownList };

class TComboBox : public TTypingControl {
  public:
    TComboBox(Control* parent, std::string name, std::string text,
              TComboBoxStyle style = TComboBoxStyle::csDropDown)
        : TTypingControl(ControlKind::ComboBox, parent, std::move(name), std::move(text)),
          Style(style) {
        SetColor(clWindow);
    }
    TComboBoxStyle Style;
    const std::vector<std::string>& Items() const { return items_; }
    void AddItem(const std::string& item);
    void SetItems(std::vector<std::string> items);
    void ClearItems();
    int ItemIndex() const { return itemIndex_; }
    // The program selects an item (-1: none, which clears the text); the text follows;
    // no OnChange.
    void SetItemIndex(int index);
    // The operator picks an item from the list; OnChange fires. False when out of range.
    bool Select(int index);
    // The operator types: the selection is dropped, OnChange fires.
    void TypeText(const std::string& text) override;
    int IndexOf(const std::string& item) const;

  private:
    std::vector<std::string> items_;
    int itemIndex_ = -1;
};

class TMemo : public TTypingControl {
  public:
    TMemo(Control* parent, std::string name, std::string text)
        : TTypingControl(ControlKind::Memo, parent, std::move(name), std::move(text)) {
        SetColor(clWindow);
    }
    // Any change of the text fires OnChange, the program's too.
    void SetText(const std::string& text) override;
    void Clear() { SetText({}); }
    void AppendText(const std::string& text) { SetText(text_ + text); }
    // Lines split at CR LF (or LF), as the memo shows them.
    std::vector<std::string> Lines() const;
    size_t SelStart() const { return selStart_; }
    // The operator puts the caret somewhere (a click, the arrow keys); typed keys go
    // in there. Clamped to the text.
    void SetSelStart(size_t position);
    // Moves the caret to the end of the text and scrolls it into view.
    void CaretToEnd();
    // A typed key goes into the text at the caret, after OnKeyPress saw it.
    bool PressKey(char key) override;
    bool WantsReturn() const override { return true; }

  private:
    size_t selStart_ = 0;
};

class TStringGrid : public Control {
  public:
    TStringGrid(Control* parent, std::string name, int colCount, int rowCount);
    int ColCount() const { return colCount_; }
    int RowCount() const { return rowCount_; }
    int FixedCols = 1;
    int FixedRows = 1;
    std::vector<int> ColWidths;
    int DefaultRowHeight = 24;
    // Cells outside the grid read as empty and ignore writes.
    const std::string& Cell(int col, int row) const;
    void SetCell(int col, int row, const std::string& text);
    int Row() const { return row_; }
    void SetRow(int row);
    // The cell whose change was notified last (for observers of Change::Cell).
    int ChangedCol() const { return changedCol_; }
    int ChangedRow() const { return changedRow_; }

  private:
    int colCount_, rowCount_;
    std::vector<std::string> cells_;
    int row_ = 1;
    int changedCol_ = 0, changedRow_ = 0;
};

class TStatusBar : public Control {
  public:
    TStatusBar(Control* parent, std::string name, std::string text, TColor color)
        : Control(ControlKind::StatusBar, parent, std::move(name), std::move(text)) {
        SetColor(color);
    }
};

class TShape : public Control {
  public:
    TShape(Control* parent, std::string name)
        : Control(ControlKind::Shape, parent, std::move(name)) {
        SetColor(clWhite);
    }
    TColor BrushColor() const { return Color(); }
    void SetBrushColor(TColor color) { SetColor(color); }
    TColor PenColor() const { return pen_; }
    void SetPenColor(TColor color);

  private:
    TColor pen_ = clBlack;
};

// Frames that hold other controls: panels and titled group boxes.
class TPanel : public Control {
  public:
    TPanel(Control* parent, std::string name, std::string caption,
           ControlKind kind = ControlKind::Panel)
        : Control(kind, parent, std::move(name), std::move(caption)) {}
};

class TTabSheet : public Control {
  public:
    TTabSheet(Control* parent, std::string name, std::string caption)
        : Control(ControlKind::TabSheet, parent, std::move(name), std::move(caption)) {}
};

class TPageControl : public Control {
  public:
    TPageControl(Control* parent, std::string name)
        : Control(ControlKind::PageControl, parent, std::move(name)) {}
    int ActivePageIndex() const { return activePage_; }
    void SetActivePageIndex(int index);

  private:
    int activePage_ = 0;
};

class TForm : public Control {
  public:
    TForm(std::string name, std::string caption);
    ~TForm() override;
    // Every control of the window in creation order (the form itself first).
    const std::vector<Control*>& AllControls() const { return all_; }
    Control* FindControl(const std::string& name) const;
    // Enter in a control that does not use it clicks this button.
    TButton* DefaultButton = nullptr;
    // The operator presses a key in a control: Enter clicks a button it is pressed on,
    // and otherwise goes to the default button unless the control wants it.
    void KeyPress(Control& control, char key);

  private:
    friend class Control;
    void Register(Control* control);
    void Unregister(Control* control);
    std::vector<Control*> all_;
    std::map<std::string, Control*> byName_;
};

constexpr char KeyReturn = '\r';
constexpr char KeyEscape = 0x1B;

} // namespace winsys
