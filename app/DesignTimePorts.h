#pragma once
// The two port components of the main window, created with their design-time
// settings.
#include "tool/Unit1.h"

namespace app {

tool::TMainFormPorts MakeDesignTimePorts();

} // namespace app
