// rvex-tool: the main window on a display, or headless driven by a script.
//   rvex-tool                          the window, in the current directory
//   rvex-tool --headless --script FILE the same window without a display ("-": stdin)
//   rvex-tool --workdir DIR ...        either of them in DIR, made ready first
#include "app/CommandLine.h"
#include "app/DisplayProbe.h"
#include "app/HeadlessRunner.h"
#include "app/PortDialogAnswers.h"
#include "app/WindowFrontEnd.h"
#include "app/WorkingFolder.h"
#include "tool/DesignTimePorts.h"
#include "tool/StateDump.h"
#include "tool/Unit1.h"
#include "winsys/Application.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

int Usage(const std::string& error) {
    std::fprintf(stderr, "rvex-tool: %s\n%s", error.c_str(), app::UsageText().c_str());
    return 2;
}

// Makes the folder ready and enters it; false (the reason printed) when it cannot be.
bool EnterWorkingFolder(const std::string& workdir) {
    const std::filesystem::path folder = app::ExpandHome(workdir, app::HomeFolder());
    const app::PreparedFolder prepared =
        app::PrepareWorkingFolder(folder, app::ExampleSiteFolder(app::OwnExecutable()));
    if (!prepared.warning.empty())
        std::fprintf(stderr, "rvex-tool: %s\n", prepared.warning.c_str());
    if (!prepared.error.empty()) {
        std::fprintf(stderr, "rvex-tool: %s\n", prepared.error.c_str());
        return false;
    }
    std::error_code error;
    std::filesystem::current_path(folder, error);
    if (error) {
        std::fprintf(stderr, "rvex-tool: cannot enter %s: %s\n", folder.string().c_str(),
                     error.message().c_str());
        return false;
    }
    return true;
}

int RunHeadless(const char* scriptName) {
    std::ifstream file;
    std::istream* script = &std::cin;
    if (std::strcmp(scriptName, "-") != 0) {
        file.open(scriptName);
        if (!file) {
            std::fprintf(stderr, "rvex-tool: cannot read script %s\n", scriptName);
            return 2;
        }
        script = &file;
    }
    winsys::EventLoop loop;
    winsys::TApplication application(loop);
    tool::TMainForm form(loop, tool::MakeDesignTimePorts());
    app::HeadlessRunner runner(
        application, form, [&] { return tool::DumpState(form); }, std::cout);
    app::PortDialogAnswers dialogAnswers(runner);
    application.Guard([&] { form.FormCreate(); });
    loop.ProcessMessages();
    runner.RunScript(*script);
    application.Guard([&] { form.FormClose(); });
    dialogAnswers.ReportUnused();
    std::cout.flush();
    return runner.ScriptErrors() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    auto parsed = app::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (auto* error = std::get_if<std::string>(&parsed)) return Usage(*error);
    const app::CommandLine& line = std::get<app::CommandLine>(parsed);
    if (line.help || line.version) {
        std::fputs(line.help ? app::UsageText().c_str() : app::VersionLine().c_str(), stdout);
        return 0;
    }
    // A script named relative to where the command was typed stays that file after
    // the tool has moved into its working folder.
    const std::string script = line.script.empty() || line.script == "-"
                                   ? line.script
                                   : std::filesystem::absolute(line.script).string();
    if (!line.headless) {
        if (auto display = app::UnreachableDisplay()) {
            std::fprintf(stderr,
                         "rvex-tool: cannot open the display (%s); use rvex-tool --headless "
                         "--script FILE\n",
                         display->c_str());
            return 1;
        }
    }
    if (!line.workdir.empty() && !EnterWorkingFolder(line.workdir)) return 1;
    if (line.headless) return RunHeadless(script.c_str());
    return app::RunWindow(argc, argv);
}
