#pragma once
// The TCP port of the LAN module's RCI service.

namespace tool {

// 80 unless the start-up configuration file's "RCI_Port:" key chose another; a value
// outside 1 to 65535 is taken as 80 when a request is made.
extern int RciPort;

} // namespace tool
