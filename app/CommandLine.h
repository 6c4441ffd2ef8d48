#pragma once
// rvex-tool's command line.
#include <string>
#include <variant>
#include <vector>

namespace app {

struct CommandLine {
    bool headless = false;
    std::string script;  // --script FILE ("-": standard input)
    std::string workdir; // --workdir DIR, as given (a leading ~ not yet expanded)
    bool help = false;
    bool version = false;
};

// The options from argv (argv[0] left out); a text is the error to show before the usage.
std::variant<CommandLine, std::string> ParseCommandLine(const std::vector<std::string>& args);

// "rvex-tool VERSION", one line.
std::string VersionLine();
// The short usage --help prints, and an error prints on standard error.
std::string UsageText();

} // namespace app
