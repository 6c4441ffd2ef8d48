#include "tool/RciSettings.h"

namespace tool {

// The start-up configuration file (key "RCI_Port:") sets it; 80 is the LAN module's
// own port, which an unprivileged simulator cannot listen on.
int RciPort = 80;

} // namespace tool
