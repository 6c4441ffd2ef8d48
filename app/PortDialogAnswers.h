#pragma once
// The headless runner's answers to the port selection dialog (TComSelectForm), which
// opens when a serial port with no number is opened:
//   choose ITEMTEXT   the next dialog selects that port and clicks OK
//   cancel            the next dialog clicks Cancel
// Answers are queued in script order before the action that opens the dialog and used
// one per dialog. A dialog that opens with nothing queued, a choice that is not in its
// list, and answers left over at the end are script errors ("error: ..." and a
// non-zero exit); the dialog then counts as cancelled.
#include "app/HeadlessRunner.h"
#include "port/PortSelect.h"

#include <deque>
#include <string>

namespace app {

class PortDialogAnswers {
  public:
    // Adds the two actions to the runner and answers every dialog while it lives.
    explicit PortDialogAnswers(HeadlessRunner& runner);
    ~PortDialogAnswers();
    PortDialogAnswers(const PortDialogAnswers&) = delete;
    PortDialogAnswers& operator=(const PortDialogAnswers&) = delete;

    // Reports answers that no dialog took; call when the script has ended.
    void ReportUnused();

  private:
    struct Answer {
        bool choose = false;
        std::string item;
    };
    port::TModalResult Respond(port::TComSelectForm& form);

    HeadlessRunner& runner_;
    std::deque<Answer> answers_;
    port::TComSelectHook previous_;
};

} // namespace app
