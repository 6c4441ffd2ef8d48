// The window front end of the Windows build: native controls.
#include "app/WindowFrontEnd.h"
#include "winui/Window.h"

namespace app {

int RunWindow(int, char**) {
    return winui::RunWindow();
}

} // namespace app
