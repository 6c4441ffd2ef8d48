#include "winui/ReadingsView.h"

#include "tool/Unit1.h"
#include "winui/FormView.h"

namespace winui {

ReadingsView::ReadingsView(tool::TMainForm& form, FormView& view) : form_(form), view_(view) {
    view_.BadCell = [this](int col, int row) { return form_.CellShowsBadOutcome(col, row); };
    view_.BadText = [this](const winsys::Control& control) {
        return &control == &form_.Edit20 && !form_.ManualOutcome().IsGood();
    };
    edit20Observer_ =
        form_.Edit20.AddObserver([this](winsys::Control& control, winsys::Change change) {
            if (change == winsys::Change::Text) view_.Redraw(control);
        });
    countersObserver_ = form_.CountersObservers.size();
    form_.CountersObservers.push_back([this] { ShowCounters(); });
    ShowCounters();
}

ReadingsView::~ReadingsView() {
    form_.CountersObservers[countersObserver_] = nullptr;
    form_.Edit20.RemoveObserver(edit20Observer_);
    view_.BadCell = nullptr;
    view_.BadText = nullptr;
}

void ReadingsView::ShowCounters() {
    view_.SetStatusField(tool::CountersText(form_.Counters));
}

} // namespace winui
