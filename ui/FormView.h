#pragma once
// The main window on screen: one Qt widget per control of a TForm, placed by the
// layout table, kept in step with the control model both ways.
//
// Model to widget: every control's observer brings its widget up to date at once
// (text, colour, visibility, enabled state, hint, items and index, cells and
// selected row, memo text and caret, shape colours, glyph, z-order, active page).
// Widget to model: the operator's actions become the model's operator actions
// (Click, DblClick, TypeText, Select, TForm::KeyPress, TStringGrid::SetRow,
// TMemo::SetSelStart), each run through TApplication::Guard, so an error shows in
// the error display, and followed by LoopBridge::Rearm, because a handler may have
// started or stopped a timer. Timers have no widget.
//
// Window thread only. The model outlives the view. FormView.cpp builds the widgets
// and takes the operator's actions; FormSync.cpp brings the model's changes.
#include "tool/MainFormLayout.h"
#include "ui/LoopBridge.h"
#include "winsys/Application.h"
#include "winsys/Controls.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QObject;
class QTabWidget;
class QEvent;
class QWidget;

namespace ui {

class FormWindow;

class FormView {
  public:
    FormView(winsys::TApplication& application, winsys::TForm& form, LoopBridge& bridge);
    ~FormView();
    FormView(const FormView&) = delete;
    FormView& operator=(const FormView&) = delete;

    FormWindow* Window() const { return window_; }
    // The widget of a control (nullptr for a timer or an unknown name).
    QWidget* WidgetOf(const std::string& name) const;
    // The names of the controls that the layout table does not place.
    const std::vector<std::string>& Unplaced() const { return unplaced_; }

  private:
    struct Binding {
        winsys::Control* control = nullptr;
        QWidget* widget = nullptr;
        QTabWidget* pages = nullptr; // a tab sheet's page control
        tool::Look look = tool::Look::Plain;
        int observer = 0;
        QString memoShown;                 // the memo's text as its widget shows it
        bool releaseOfDoubleClick = false; // a double click's release is no click
    };
    class EventFilter;

    void Create(winsys::Control& control);
    QWidget* MakeWidget(Binding& b, QWidget* parent);
    void Connect(Binding& b);
    void Sync(Binding& b, winsys::Change change);
    void SyncAll(Binding& b);
    void SyncText(Binding& b);
    void SyncColor(Binding& b);
    void SyncVisible(Binding& b);
    void SyncCombo(Binding& b);
    void SyncMemoText(Binding& b);
    void SyncMemoCaret(Binding& b, bool scroll);
    void SyncGlyph(Binding& b);

    // Runs an operator action on the model.
    void Act(const std::function<void()>& action);
    // The same for typing into b's widget: b's own text is not pushed back while the
    // model takes it, only afterwards if the model made it differ (a limit, a handler).
    void Type(Binding& b, const std::function<void()>& action);
    void MemoKey(Binding& b, char key);
    bool Filter(QObject* watched, QEvent* event);

    winsys::TApplication& application_;
    winsys::TForm& form_;
    LoopBridge& bridge_;
    std::unique_ptr<EventFilter> filter_;
    FormWindow* window_ = nullptr;
    std::vector<std::unique_ptr<Binding>> bindings_;
    std::map<const winsys::Control*, Binding*> byControl_;
    std::map<const QObject*, Binding*> byObject_;
    std::vector<std::string> unplaced_;
    int syncing_ = 0;           // model-to-widget updates under way: widget signals are ours
    Binding* typing_ = nullptr; // the control the operator is typing into
    bool closing_ = false;
};

} // namespace ui
