#include "ui/ReadingsView.h"

#include "tool/Unit1.h"
#include "ui/FormView.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

namespace ui {

ReadingsView::ReadingsView(tool::TMainForm& form, FormView& view)
    : form_(form), grid_(dynamic_cast<GridView*>(view.WidgetOf(form.StringGrid3.Name()))),
      edit20_(dynamic_cast<QLineEdit*>(view.WidgetOf(form.Edit20.Name()))) {
    if (grid_) {
        grid_->Model()->BadValue = [this](int col, int row) {
            return col == 2 && !form_.ShownOutcome(row).IsGood();
        };
    }
    edit20Observer_ = form_.Edit20.AddObserver([this](winsys::Control&, winsys::Change change) {
        if (change == winsys::Change::Text) ShowManualOutcome();
    });
    ShowManualOutcome();

    auto* bar = dynamic_cast<QLabel*>(view.WidgetOf(form.StatusBar1.Name()));
    counters_ = new QLabel(bar);
    counters_->setTextFormat(Qt::PlainText);
    counters_->setObjectName("Counters");
    if (bar) {
        auto* row = new QHBoxLayout(bar);
        row->setContentsMargins(0, 0, 6, 0);
        row->addStretch(1);
        row->addWidget(counters_);
    }
    countersObserver_ = form_.CountersObservers.size();
    form_.CountersObservers.push_back([this] { ShowCounters(); });
    ShowCounters();
}

ReadingsView::~ReadingsView() {
    form_.CountersObservers[countersObserver_] = nullptr;
    form_.Edit20.RemoveObserver(edit20Observer_);
    if (grid_) grid_->Model()->BadValue = nullptr;
}

void ReadingsView::ShowCounters() {
    counters_->setText(ToQt(tool::CountersText(form_.Counters)));
}

void ReadingsView::ShowManualOutcome() {
    if (!edit20_) return;
    QPalette palette = edit20_->palette();
    palette.setColor(QPalette::Text, form_.ManualOutcome().IsGood()
                                         ? edit20_->style()->standardPalette().color(QPalette::Text)
                                         : ToQt(winsys::clRed));
    edit20_->setPalette(palette);
}

} // namespace ui
