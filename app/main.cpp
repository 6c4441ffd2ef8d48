// rvex-tool: the main window on a display, or headless driven by a script.
//   rvex-tool                          the window, in the current directory
//   rvex-tool --headless --script FILE the same window without a display ("-": stdin)
#include "app/CommissioningActions.h"
#include "app/DesignTimePorts.h"
#include "app/HeadlessRunner.h"
#include "app/PortDialogAnswers.h"
#include "app/WindowFrontEnd.h"
#include "tool/StateDump.h"
#include "tool/Unit1.h"
#include "winsys/Application.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: rvex-tool [--headless --script FILE|-]\n");
    return 2;
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
    tool::TMainForm form(loop, app::MakeDesignTimePorts());
    app::HeadlessRunner runner(
        application, form, [&] { return tool::DumpState(form); }, std::cout);
    app::PortDialogAnswers dialogAnswers(runner);
    tool::TCommissioning commissioning(form);
    app::AddCommissioningActions(runner, commissioning, std::cout);
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
    bool headless = false;
    const char* script = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            headless = true;
        else if (std::strcmp(argv[i], "--script") == 0 && i + 1 < argc)
            script = argv[++i];
        else
            return Usage();
    }
    if (headless) {
        if (!script) return Usage();
        return RunHeadless(script);
    }
    if (script) return Usage();
    return app::RunWindow(argc, argv);
}
