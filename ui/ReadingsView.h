#pragma once
// What the window draws of the readings' outcomes: the value texts of bad outcomes
// (grid column 2, Edit20) in red, and the exchange counters as a permanent field at
// the right of the status bar. The outcomes themselves come from the tool
// (TMainForm::ShownOutcome, ManualOutcome, Counters); this only draws them.
//
// Window thread only; lives no longer than the form and the view.
#include <cstddef>

namespace tool {
class TMainForm;
}

class QLabel;
class QLineEdit;

namespace ui {

class FormView;
class GridView;

class ReadingsView {
  public:
    ReadingsView(tool::TMainForm& form, FormView& view);
    ~ReadingsView();
    ReadingsView(const ReadingsView&) = delete;
    ReadingsView& operator=(const ReadingsView&) = delete;

    QLabel* CountersField() const { return counters_; }

  private:
    void ShowCounters();
    void ShowManualOutcome();

    tool::TMainForm& form_;
    GridView* grid_;
    QLineEdit* edit20_;
    QLabel* counters_;
    int edit20Observer_ = 0;
    size_t countersObserver_ = 0;
};

} // namespace ui
