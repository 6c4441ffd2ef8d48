#pragma once
// What the window draws of the readings' outcomes: the value texts of bad outcomes
// (the grid's value column, Edit20) in red, and the exchange counters in the status
// bar's field at its right. The outcomes themselves come from the tool
// (TMainForm::CellShowsBadOutcome, ManualOutcome, Counters); this only draws them.
//
// Window thread only; lives no longer than the form and the view.
#include <cstddef>

namespace tool {
class TMainForm;
}

namespace winui {

class FormView;

class ReadingsView {
  public:
    ReadingsView(tool::TMainForm& form, FormView& view);
    ~ReadingsView();
    ReadingsView(const ReadingsView&) = delete;
    ReadingsView& operator=(const ReadingsView&) = delete;

  private:
    void ShowCounters();

    tool::TMainForm& form_;
    FormView& view_;
    int edit20Observer_ = 0;
    size_t countersObserver_ = 0;
};

} // namespace winui
