#include "app/HeadlessRunner.h"

#include "winsys/ControlDump.h"

#include <cstdlib>
#include <sstream>

namespace app {

using namespace winsys;

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// The text after the first n words of a line, blanks inside kept.
std::string AfterWords(const std::string& line, int n) {
    size_t at = 0;
    for (int i = 0; i < n; ++i) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string::npos) return {};
        at = line.find_first_of(" \t", at);
        if (at == std::string::npos) return {};
    }
    if (at < line.size()) ++at; // the one separator after the last word
    return line.substr(at);
}

bool ParseInt(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == 0;
}

} // namespace

HeadlessRunner::HeadlessRunner(TApplication& application, TForm& form,
                               std::function<std::string()> dumpState, std::ostream& out)
    : app_(application), form_(form), dumpState_(std::move(dumpState)), out_(out) {
    app_.Errors().Headless = false; // the runner prints them in order with its output
    app_.Errors().SetViewer(
        [this](const std::string& message) { out_ << "error: " << message << std::endl; });
    AddStandardActions();
}

void HeadlessRunner::AddAction(const std::string& name, Action action) {
    actions_[name] = std::move(action);
}

void HeadlessRunner::ScriptError(const std::string& message) {
    ++scriptErrors_;
    out_ << "error: " << message << std::endl;
}

Control* HeadlessRunner::Find(const std::string& name) {
    Control* c = form_.FindControl(name);
    if (!c) ScriptError("unknown control " + name);
    return c;
}

template <class T> T* HeadlessRunner::FindAs(const std::string& name, const char* what) {
    Control* c = Find(name);
    if (!c) return nullptr;
    T* typed = dynamic_cast<T*>(c);
    if (!typed) ScriptError(name + " is not " + what);
    return typed;
}

void HeadlessRunner::AddStandardActions() {
    auto need = [this](const std::vector<std::string>& args, size_t n, const char* usage) {
        if (args.size() >= n) return true;
        ScriptError(std::string("usage: ") + usage);
        return false;
    };
    AddAction("click", [=, this](const auto& args, const auto&) {
        if (!need(args, 1, "click NAME")) return;
        if (Control* c = Find(args[0])) app_.Guard([&] { c->Click(); });
    });
    AddAction("dblclick", [=, this](const auto& args, const auto&) {
        if (!need(args, 1, "dblclick NAME [ROW]")) return;
        Control* c = Find(args[0]);
        if (!c) return;
        if (args.size() > 1) {
            long row;
            auto* grid = dynamic_cast<TStringGrid*>(c);
            if (!grid || !ParseInt(args[1], row) || row < grid->FixedRows ||
                row >= grid->RowCount()) {
                ScriptError("dblclick: no row " + args[1] + " in " + args[0]);
                return;
            }
            grid->SetRow(static_cast<int>(row));
        }
        app_.Guard([&] { c->DblClick(); });
    });
    AddAction("text", [=, this](const auto& args, const std::string& rest) {
        if (!need(args, 1, "text NAME TEXT...")) return;
        if (auto* c = FindAs<TTypingControl>(args[0], "a text field"))
            app_.Guard([&] { c->TypeText(AfterWords(rest, 1)); });
    });
    AddAction("select", [=, this](const auto& args, const auto&) {
        if (!need(args, 2, "select NAME INDEX")) return;
        auto* combo = FindAs<TComboBox>(args[0], "a combo box");
        long index;
        if (!combo) return;
        if (!ParseInt(args[1], index) || index < 0 ||
            index >= static_cast<long>(combo->Items().size())) {
            ScriptError("select: no item " + args[1] + " in " + args[0]);
            return;
        }
        app_.Guard([&] { combo->Select(static_cast<int>(index)); });
    });
    AddAction("pick", [=, this](const auto& args, const std::string& rest) {
        if (!need(args, 2, "pick NAME ITEMTEXT")) return;
        auto* combo = FindAs<TComboBox>(args[0], "a combo box");
        if (!combo) return;
        std::string item = AfterWords(rest, 1);
        int index = combo->IndexOf(item);
        if (index < 0) {
            ScriptError("pick: no item \"" + item + "\" in " + args[0]);
            return;
        }
        app_.Guard([&] { combo->Select(index); });
    });
    AddAction("key", [=, this](const auto& args, const auto&) {
        if (!need(args, 2, "key NAME CHAR")) return;
        Control* c = Find(args[0]);
        if (!c) return;
        char key;
        if (args[1] == "Enter")
            key = KeyReturn;
        else if (args[1] == "Esc")
            key = KeyEscape;
        else if (args[1] == "Space")
            key = ' ';
        else if (args[1].size() == 1)
            key = args[1][0];
        else {
            ScriptError("key: unknown key " + args[1]);
            return;
        }
        app_.Guard([&] { form_.KeyPress(*c, key); });
    });
    AddAction("wait", [=, this](const auto& args, const auto&) {
        long ms;
        if (!need(args, 1, "wait MS")) return;
        if (!ParseInt(args[0], ms) || ms < 0) {
            ScriptError("wait: bad time " + args[0]);
            return;
        }
        app_.Loop().RunFor(ms);
    });
    AddAction("dump", [=, this](const auto& args, const auto&) {
        if (args.empty()) {
            for (Control* c : form_.AllControls())
                out_ << DumpControl(*c) << "\n";
        }
        for (const std::string& name : args)
            if (Control* c = Find(name)) out_ << DumpControl(*c) << "\n";
        out_.flush();
    });
    AddAction("state", [this](const auto&, const auto&) { out_ << dumpState_() << std::endl; });
    AddAction("quit", [this](const auto&, const auto&) { quit_ = true; });
}

bool HeadlessRunner::RunLine(const std::string& rawLine) {
    std::string line = rawLine;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') return !quit_;
    line = line.substr(first);
    std::vector<std::string> words = Words(line);
    auto it = actions_.find(words[0]);
    if (it == actions_.end()) {
        ScriptError("unknown action " + words[0]);
        return !quit_;
    }
    std::vector<std::string> args(words.begin() + 1, words.end());
    it->second(args, AfterWords(line, 1));
    app_.Loop().ProcessMessages();
    return !quit_;
}

int HeadlessRunner::RunScript(std::istream& in) {
    for (std::string line; !quit_ && std::getline(in, line);)
        RunLine(line);
    out_.flush();
    return scriptErrors_ == 0 ? 0 : 1;
}

} // namespace app
