#pragma once
// The main window's two port components as its stored form makes them: the one place
// where their design-time settings (COM 3, even parity, trace and log names, the
// network port's addresses, ...) are written. Every front end builds its TMainForm on
// these; tests may hand the window fakes instead.
#include "tool/Unit1.h"

namespace tool {

TMainFormPorts MakeDesignTimePorts();

} // namespace tool
