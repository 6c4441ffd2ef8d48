#include "app/CommandLine.h"

namespace app {

std::string VersionLine() {
    return "rvex-tool " RVEX_VERSION "\n";
}

std::string UsageText() {
    return "usage: rvex-tool [--workdir DIR] [--headless --script FILE|-]\n"
           "  --workdir DIR   work in DIR (a leading ~ is the home folder); DIR is created\n"
           "                  and filled with the example site files when it has no Config1.c\n"
           "  --headless      run without a display, one action per line of the script\n"
           "  --script FILE   the script of actions (\"-\": standard input)\n"
           "  --version       print the version\n"
           "  --help          print this text\n";
}

std::variant<CommandLine, std::string> ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size() || args[i + 1].empty()) return false;
            out = args[++i];
            return true;
        };
        if (arg == "--headless") {
            line.headless = true;
        } else if (arg == "--script") {
            if (!value(line.script)) return std::string("--script needs a file");
        } else if (arg == "--workdir") {
            if (!value(line.workdir)) return std::string("--workdir needs a folder");
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else {
            return "unknown option " + arg;
        }
    }
    if (line.help || line.version) return line;
    if (line.headless && line.script.empty()) return std::string("--headless needs --script FILE");
    if (!line.headless && !line.script.empty()) return std::string("--script needs --headless");
    return line;
}

} // namespace app
