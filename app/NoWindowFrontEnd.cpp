// Built when the window front end is not: says so plainly.
#include "app/WindowFrontEnd.h"

#include <cstdio>

namespace app {

int RunWindow(int, char**) {
    std::fprintf(stderr, "rvex-tool: this build has no window front end; "
                         "use rvex-tool --headless --script FILE\n");
    return 2;
}

} // namespace app
