// The window front end of this build: the Qt window.
#include "app/WindowFrontEnd.h"
#include "ui/Window.h"

namespace app {

int RunWindow(int argc, char** argv) {
    return ui::RunWindow(argc, argv);
}

} // namespace app
