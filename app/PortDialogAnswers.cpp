#include "app/PortDialogAnswers.h"

namespace app {

namespace {

std::string ItemList(const winsys::TComboBox& combo) {
    std::string list;
    for (const std::string& item : combo.Items())
        list += (list.empty() ? "" : ", ") + item;
    return list.empty() ? "none" : list;
}

} // namespace

PortDialogAnswers::PortDialogAnswers(HeadlessRunner& runner) : runner_(runner) {
    runner_.AddAction("choose",
                      [this](const std::vector<std::string>& args, const std::string& rest) {
                          if (args.empty()) {
                              runner_.ScriptError("usage: choose ITEMTEXT");
                              return;
                          }
                          answers_.push_back({true, rest});
                      });
    runner_.AddAction("cancel", [this](const auto&, const auto&) {
        answers_.push_back({false, {}});
    });
    previous_ =
        port::SetComSelectHook([this](port::TComSelectForm& form) { return Respond(form); });
}

PortDialogAnswers::~PortDialogAnswers() {
    port::SetComSelectHook(std::move(previous_));
}

port::TModalResult PortDialogAnswers::Respond(port::TComSelectForm& form) {
    if (answers_.empty()) {
        runner_.ScriptError("the dialog \"" + form.Caption() +
                            "\" opened with no answer queued (put \"choose ITEMTEXT\" or "
                            "\"cancel\" before the action that opens it)");
        return port::mrCancel;
    }
    Answer answer = answers_.front();
    answers_.pop_front();
    if (!answer.choose) {
        form.CancelBtn.Click();
        return port::mrCancel;
    }
    const int index = form.PortsComboBox.IndexOf(answer.item);
    if (index < 0) {
        runner_.ScriptError("choose: no item \"" + answer.item + "\" in the dialog \"" +
                            form.Caption() + "\" (it lists " + ItemList(form.PortsComboBox) + ")");
        return port::mrCancel;
    }
    form.PortsComboBox.Select(index);
    form.OkBtn.Click();
    return port::mrOk;
}

void PortDialogAnswers::ReportUnused() {
    for (const Answer& answer : answers_)
        runner_.ScriptError(answer.choose ? "choose " + answer.item + ": no dialog took this answer"
                                          : "cancel: no dialog took this answer");
    answers_.clear();
}

} // namespace app
