#include "app/CommissioningActions.h"

#include "winsys/Exception.h"

#include <cstdlib>

namespace app {

namespace {

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseRow(const std::string& text, int& row) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || value < 1 || value > 100000) return false;
    row = static_cast<int>(value);
    return true;
}

bool ParseNumber(const std::string& text, double& value) {
    std::optional<double> number = tool::ValueNumber(text);
    if (!number) return false;
    value = *number;
    return true;
}

// Runs a step that writes a file; its error becomes a script error.
template <class Step> void Writing(HeadlessRunner& runner, const std::string& action, Step&& step) {
    try {
        step();
    } catch (const winsys::Exception& e) {
        runner.ScriptError(action + ": " + e.Message());
    }
}

// expect ok [ROW...] | expect ROW MIN MAX
void Expect(HeadlessRunner& runner, const tool::TCommissioning& c,
            const std::vector<std::string>& args, const std::string& rest) {
    const std::string usage = "usage: expect ok [ROW...] | expect ROW MIN MAX";
    if (args.empty()) {
        runner.ScriptError(usage);
        return;
    }
    std::string found;
    if (args[0] == "ok") {
        std::vector<int> rows;
        for (size_t i = 1; i < args.size(); ++i) {
            int row;
            if (!ParseRow(args[i], row)) {
                runner.ScriptError("expect: bad row " + args[i]);
                return;
            }
            rows.push_back(row);
        }
        found = c.ExpectGood(rows);
    } else {
        int row;
        double min, max;
        if (args.size() != 3 || !ParseRow(args[0], row) || !ParseNumber(args[1], min) ||
            !ParseNumber(args[2], max)) {
            runner.ScriptError(usage);
            return;
        }
        if (min > max) {
            runner.ScriptError("expect: MIN " + args[1] + " is above MAX " + args[2]);
            return;
        }
        found = c.ExpectRange(row, min, max);
    }
    if (!found.empty()) runner.ScriptError("expect " + Trimmed(rest) + ": " + found);
}

} // namespace

void AddCommissioningActions(HeadlessRunner& runner, tool::TCommissioning& c, std::ostream& out) {
    runner.AddAction("record",
                     [&runner, &c](const std::vector<std::string>& args, const std::string&) {
                         if (args.size() != 1 || (args[0] != "on" && args[0] != "off")) {
                             runner.ScriptError("usage: record on|off");
                             return;
                         }
                         if (args[0] == "off") {
                             c.StopRecording();
                             return;
                         }
                         Writing(runner, "record", [&] { c.StartRecording(); });
                     });
    auto fileAction = [&runner](const char* name, std::function<void(const std::string&)> write) {
        return [&runner, name, write](const std::vector<std::string>&, const std::string& rest) {
            std::string file = Trimmed(rest);
            if (file.empty()) {
                runner.ScriptError(std::string("usage: ") + name + " FILE");
                return;
            }
            Writing(runner, name, [&] { write(file); });
        };
    };
    runner.AddAction("export",
                     fileAction("export", [&c](const std::string& f) { c.ExportGrid(f); }));
    runner.AddAction("report",
                     fileAction("report", [&c](const std::string& f) { c.WriteReport(f); }));
    runner.AddAction("table",
                     [&c, &out](const auto&, const auto&) { out << c.Table() << std::flush; });
    runner.AddAction("expect",
                     [&runner, &c](const std::vector<std::string>& args, const std::string& rest) {
                         Expect(runner, c, args, rest);
                     });
}

} // namespace app
