#pragma once
// The headless runner: drives the main window without a display, one operator action
// per script line:
//   click NAME | dblclick NAME [ROW] | text NAME TEXT... | select NAME INDEX
//   pick NAME ITEMTEXT | key NAME CHAR | wait MS | dump [NAME...] | state | quit
// "#" starts a comment. Errors of the application's error display print as
// "error: MESSAGE" in order with the output; an unknown action or control prints
// "error: ..." too and makes the run end with a non-zero status.
#include "winsys/Application.h"
#include "winsys/Controls.h"

#include <functional>
#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace app {

class HeadlessRunner {
  public:
    // args: the words after the action; rest: the line after the action's first word
    // (for actions whose last argument may hold blanks).
    using Action =
        std::function<void(const std::vector<std::string>& args, const std::string& rest)>;

    HeadlessRunner(winsys::TApplication& application, winsys::TForm& form,
                   std::function<std::string()> dumpState, std::ostream& out);

    // Adds or replaces an action (later layers add their own, e.g. dialog answers).
    void AddAction(const std::string& name, Action action);
    // Runs one line; false once "quit" ran.
    bool RunLine(const std::string& line);
    // Runs every line; 0 when no script error occurred, else 1.
    int RunScript(std::istream& in);
    int ScriptErrors() const { return scriptErrors_; }
    // Reports a script error ("error: MESSAGE") and counts it.
    void ScriptError(const std::string& message);
    winsys::Control* Find(const std::string& name);

  private:
    void AddStandardActions();
    template <class T> T* FindAs(const std::string& name, const char* what);

    winsys::TApplication& app_;
    winsys::TForm& form_;
    std::function<std::string()> dumpState_;
    std::ostream& out_;
    std::map<std::string, Action> actions_;
    int scriptErrors_ = 0;
    bool quit_ = false;
};

} // namespace app
