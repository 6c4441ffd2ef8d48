#pragma once
// The one place that turns a serial port number COMn into a device path.
//
// On Windows COMn is the system's own device "\\.\COMn" (ComMappingWin32.cpp): there
// is no folder of links, and ComLinkDirectory() is "". On Linux (ComMappingLinux.cpp) a
// folder of links names the devices: $RVEX_COM_DIR (default ~/.config/rvex-tool/com)
// holds entries COM1 ... COM49, normally symlinks to devices (a pty the simulator
// publishes, /dev/serial/by-id/..., /dev/ttyUSB0). An entry there wins. Without one,
// COMn falls back to a fixed default:
//
//   COM1  - COM16  ->  /dev/ttyS0   - /dev/ttyS15
//   COM17 - COM32  ->  /dev/ttyUSB0 - /dev/ttyUSB15
//   COM33 - COM48  ->  /dev/ttyACM0 - /dev/ttyACM15
//   COM49          ->  none (only a link gives it a device)
//
// Nothing here keeps state: the folder is looked at on every call, so a link made
// while the program runs counts from the next call on. Any thread may call these.
#include <string>

namespace port {

// The highest number that is ever probed or mapped.
constexpr unsigned MaxComNumber = 49;

// The folder of COMn links: $RVEX_COM_DIR when set and not empty, else
// $HOME/.config/rvex-tool/com.
std::string ComLinkDirectory();

// The device path of COMn, or "" when n is 0, above MaxComNumber, or COM49 has no
// link. A link that resolves gives the final path it leads to (so that
// /dev/serial/by-id/... shows as /dev/ttyUSB0); a dangling link gives its own target,
// which then fails to open as a device that does not exist.
std::string ComDevicePath(unsigned n);

// True when COMn's device can be opened as a serial port now: SerialDevice::Probe
// finds a terminal that no other program holds (neither under an flock nor in the
// tty's exclusive mode). Nothing else is listed, so every port the start-up list
// offers is one the port's open can open. The device is closed again at once.
bool ComPortUsable(unsigned n);

} // namespace port
