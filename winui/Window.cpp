#include "winui/Window.h"

#include "tool/Commissioning.h"
#include "tool/DesignTimePorts.h"
#include "tool/Unit1.h"
#include "winsys/Application.h"
#include "winui/CommissioningMenus.h"
#include "winui/ErrorBox.h"
#include "winui/FormView.h"
#include "winui/NativeText.h"
#include "winui/PortDialog.h"
#include "winui/ReadingsView.h"

#include <commctrl.h>

#include <filesystem>

namespace winui {

namespace {

// Started from the desktop, a console program gets a console window of its own, which
// the window does not need; one shared with a command prompt stays (errors are traced
// there).
void LeaveOwnConsole() {
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
}

} // namespace

int RunWindow() {
    LeaveOwnConsole();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                                       ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    winsys::EventLoop loop;
    winsys::TApplication application(loop);
    tool::TMainForm form(loop, tool::MakeDesignTimePorts());
    form.StatusBar1.SetHint("Working folder: " + std::filesystem::current_path().string());
    FormView view(application, form);
    if (!view.Window()) return 1;
    ReadingsView readings(form, view);

    ErrorBox errors(loop, Wide(form.Caption()), view.Window());
    application.Errors().Headless = false;
    application.Errors().SetViewer([&errors](const std::string& message) { errors.Show(message); });
    PortDialog portDialog(view.Window());
    tool::TCommissioning commissioning(form);
    CommissioningMenus commissioningMenus(application, form, view, commissioning);

    bool closed = false;
    view.OnClose = [&] {
        if (closed) return;
        closed = true;
        application.Guard([&] { form.FormClose(); });
        loop.ProcessMessages();
        view.Destroy();
        loop.Quit();
    };

    application.Guard([&] { form.FormCreate(); });
    loop.ProcessMessages();
    view.Show();
    loop.Run();
    view.OnClose();
    application.Errors().SetViewer(nullptr);
    return 0;
}

} // namespace winui
