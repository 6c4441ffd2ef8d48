#include "winsys/Controls.h"

#include <algorithm>

namespace winsys {

const char* KindName(ControlKind kind) {
    switch (kind) {
    case ControlKind::Form:
        return "form";
    case ControlKind::PageControl:
        return "pagecontrol";
    case ControlKind::TabSheet:
        return "tabsheet";
    case ControlKind::Panel:
        return "panel";
    case ControlKind::GroupBox:
        return "groupbox";
    case ControlKind::Button:
        return "button";
    case ControlKind::BitBtn:
        return "bitbtn";
    case ControlKind::Label:
        return "label";
    case ControlKind::Edit:
        return "edit";
    case ControlKind::ComboBox:
        return "combobox";
    case ControlKind::StringGrid:
        return "stringgrid";
    case ControlKind::Memo:
        return "memo";
    case ControlKind::StatusBar:
        return "statusbar";
    case ControlKind::Shape:
        return "shape";
    case ControlKind::Timer:
        return "timer";
    }
    return "control";
}

namespace {
int nextZOrder = 1;
}

Control::Control(ControlKind kind, Control* parent, std::string name, std::string text)
    : text_(std::move(text)), kind_(kind), parent_(parent), name_(std::move(name)) {
    if (parent_) {
        parent_->children_.push_back(this);
        if (TForm* form = parent_->Form()) form->Register(this);
    }
}

Control::~Control() {
    if (parent_) {
        auto& siblings = parent_->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        if (TForm* form = parent_->Form()) form->Unregister(this);
    }
}

TForm* Control::Form() const {
    const Control* c = this;
    while (c->parent_)
        c = c->parent_;
    return c->kind_ == ControlKind::Form ? static_cast<TForm*>(const_cast<Control*>(c)) : nullptr;
}

void Control::SetText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    Notify(Change::Text);
}

void Control::SetHint(const std::string& hint) {
    if (hint == hint_) return;
    hint_ = hint;
    Notify(Change::Hint);
}

void Control::SetColor(TColor color) {
    if (color == color_) return;
    color_ = color;
    Notify(Change::Color);
}

void Control::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Notify(Change::Visible);
}

void Control::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Notify(Change::Enabled);
}

void Control::BringToFront() {
    zOrder_ = nextZOrder++;
    Notify(Change::Front);
}

void Control::Click() {
    if (OnClick) OnClick();
}

void Control::DblClick() {
    if (OnDblClick) OnDblClick();
}

int Control::AddObserver(Observer observer) {
    int id = nextObserver_++;
    observers_[id] = std::move(observer);
    return id;
}

void Control::RemoveObserver(int id) {
    observers_.erase(id);
}

void Control::Notify(Change change) {
    for (auto& [id, observer] : observers_)
        observer(*this, change);
}

void TBitBtn::LoadGlyph(const std::string& fileName) {
    glyph_ = LoadBitmapFile(fileName);
    Notify(Change::Glyph);
}

void TTypingControl::TypeText(const std::string& text) {
    if (ReadOnly) return;
    std::string typed = text;
    if (MaxLength > 0 && typed.size() > static_cast<size_t>(MaxLength)) typed.resize(MaxLength);
    SetText(typed); // edits and memos fire OnChange on every change of their text
}

bool TTypingControl::PressKey(char key) {
    if (OnKeyPress) OnKeyPress(key);
    return false;
}

void TEdit::SetText(const std::string& text) {
    if (text == text_) return;
    Control::SetText(text);
    if (OnChange) OnChange();
}

void TComboBox::AddItem(const std::string& item) {
    items_.push_back(item);
    Notify(Change::Items);
}

void TComboBox::SetItems(std::vector<std::string> items) {
    items_ = std::move(items);
    if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
    Notify(Change::Items);
}

void TComboBox::ClearItems() {
    items_.clear();
    itemIndex_ = -1;
    Notify(Change::Items);
}

void TComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    if (index == itemIndex_) return;
    itemIndex_ = index;
    // As the window system's combo box: removing the selection clears the text.
    Control::SetText(index >= 0 ? items_[index] : std::string());
    Notify(Change::ItemIndex);
}

bool TComboBox::Select(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return false;
    SetItemIndex(index);
    Control::SetText(items_[index]);
    if (OnChange) OnChange();
    return true;
}

void TComboBox::TypeText(const std::string& text) {
    if (ReadOnly) return;
    std::string typed = text;
    if (MaxLength > 0 && typed.size() > static_cast<size_t>(MaxLength)) typed.resize(MaxLength);
    if (itemIndex_ != -1) {
        itemIndex_ = -1;
        Notify(Change::ItemIndex);
    }
    Control::SetText(typed);
    if (OnChange) OnChange();
}

int TComboBox::IndexOf(const std::string& item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMemo::SetText(const std::string& text) {
    if (text == text_) return;
    Control::SetText(text);
    selStart_ = std::min(selStart_, text_.size());
    if (OnChange) OnChange();
}

std::vector<std::string> TMemo::Lines() const {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text_.size(); ++i) {
        char c = text_[i];
        if (c == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

void TMemo::SetSelStart(size_t position) {
    position = std::min(position, text_.size());
    if (position == selStart_) return;
    selStart_ = position;
    Notify(Change::Caret);
}

void TMemo::CaretToEnd() {
    selStart_ = text_.size();
    Notify(Change::Caret);
}

bool TMemo::PressKey(char key) {
    if (OnKeyPress) OnKeyPress(key);
    if (key == 0 || ReadOnly) return true;
    std::string text = text_;
    size_t at = std::min(selStart_, text.size());
    if (key == '\b') {
        if (at > 0) {
            text.erase(at - 1, 1);
            --at;
        }
    } else if (key == KeyReturn) {
        text.insert(at, "\r\n");
        at += 2;
    } else {
        text.insert(at, 1, key);
        ++at;
    }
    SetText(text);
    selStart_ = at;
    Notify(Change::Caret);
    return true;
}

TStringGrid::TStringGrid(Control* parent, std::string name, int colCount, int rowCount)
    : Control(ControlKind::StringGrid, parent, std::move(name)), ColWidths(colCount, 64),
      colCount_(colCount), rowCount_(rowCount), cells_(static_cast<size_t>(colCount) * rowCount) {
    SetColor(clWindow);
}

const std::string& TStringGrid::Cell(int col, int row) const {
    static const std::string empty;
    if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return empty;
    return cells_[static_cast<size_t>(row) * colCount_ + col];
}

void TStringGrid::SetCell(int col, int row, const std::string& text) {
    if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return;
    std::string& cell = cells_[static_cast<size_t>(row) * colCount_ + col];
    if (cell == text) return;
    cell = text;
    changedCol_ = col;
    changedRow_ = row;
    Notify(Change::Cell);
}

void TStringGrid::SetRow(int row) {
    if (row < FixedRows || row >= rowCount_ || row == row_) return;
    row_ = row;
    Notify(Change::Row);
}

void TShape::SetPenColor(TColor color) {
    if (color == pen_) return;
    pen_ = color;
    Notify(Change::Pen);
}

void TPageControl::SetActivePageIndex(int index) {
    if (index == activePage_) return;
    activePage_ = index;
    Notify(Change::ActivePage);
}

TForm::TForm(std::string name, std::string caption)
    : Control(ControlKind::Form, nullptr, std::move(name), std::move(caption)) {
    Register(this);
}

TForm::~TForm() = default;

Control* TForm::FindControl(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

void TForm::KeyPress(Control& control, char key) {
    // A button with the focus takes Enter itself, as the window system's buttons do.
    if (key == KeyReturn) {
        if (auto* button = dynamic_cast<TButton*>(&control)) {
            button->Click();
            return;
        }
    }
    bool wantsReturn = false;
    auto* typing = dynamic_cast<TTypingControl*>(&control);
    if (typing) wantsReturn = typing->WantsReturn();
    if (key == KeyReturn && !wantsReturn) {
        if (typing && typing->OnKeyPress) typing->OnKeyPress(key);
        if (DefaultButton && key == KeyReturn) DefaultButton->Click();
        return;
    }
    if (typing) typing->PressKey(key);
}

void TForm::Register(Control* control) {
    all_.push_back(control);
    byName_[control->Name()] = control;
}

void TForm::Unregister(Control* control) {
    all_.erase(std::remove(all_.begin(), all_.end(), control), all_.end());
    auto it = byName_.find(control->Name());
    if (it != byName_.end() && it->second == control) byName_.erase(it);
}

} // namespace winsys
