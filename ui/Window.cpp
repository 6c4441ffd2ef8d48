#include "ui/Window.h"

#include "tool/Commissioning.h"
#include "tool/DesignTimePorts.h"
#include "tool/Unit1.h"
#include "ui/CommissioningMenus.h"
#include "ui/ErrorBox.h"
#include "ui/FormView.h"
#include "ui/Look.h"
#include "ui/LoopBridge.h"
#include "ui/PortDialog.h"
#include "ui/QtText.h"
#include "ui/ReadingsView.h"
#include "ui/Widgets.h"
#include "winsys/Application.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace ui {

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

int RunWindow(int argc, char** argv) {
    // Qt aborts when it finds no display; say plainly what to do instead. A platform
    // chosen by name (offscreen, vnc) needs none.
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "rvex-tool: no display (DISPLAY/WAYLAND_DISPLAY not set); "
                             "use --headless --script FILE\n");
        return 2;
    }
    QApplication qt(argc, argv);
    // Qt has set the desktop's locale; numbers are written and read with a point.
    std::setlocale(LC_NUMERIC, "C");
    ApplyLook(qt);

    winsys::EventLoop loop;
    winsys::TApplication application(loop);
    tool::TMainForm form(loop, tool::MakeDesignTimePorts());
    form.StatusBar1.SetHint("Working folder: " + std::filesystem::current_path().string());
    LoopBridge bridge(loop);
    FormView view(application, form, bridge);
    ReadingsView readings(form, view);

    ErrorBox errors(ToQt(form.Caption()), [&view] { return view.Window(); });
    application.Errors().Headless = false;
    application.Errors().SetViewer([&errors](const std::string& message) { errors.Show(message); });
    PortDialog portDialog([&view] { return view.Window(); });
    tool::TCommissioning commissioning(form);
    // After the readings view: the recording sign joins its row in the status bar.
    CommissioningMenus commissioningMenus(application, view, commissioning);

    bool closed = false;
    auto close = [&] {
        if (closed) return;
        closed = true;
        application.Guard([&] { form.FormClose(); });
        bridge.Dispatch();
    };
    view.Window()->OnClose = close;

    application.Guard([&] { form.FormCreate(); });
    bridge.Dispatch();
    view.Window()->show();
    qt.exec();
    close(); // when the loop ended some other way than by closing the window
    application.Errors().SetViewer(nullptr);
    return 0;
}

} // namespace ui
