// On Windows the window front end needs no display named by the environment: the
// desktop is the session's own, so there is nothing to find unreachable.
#include "app/DisplayProbe.h"

namespace app {

std::optional<std::string> UnreachableDisplay() {
    return std::nullopt;
}

} // namespace app
