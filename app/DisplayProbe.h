#pragma once
// Whether the display that the environment names is there, asked before the window
// front end starts: without one it would abort instead of saying what to do.
#include <optional>
#include <string>

namespace app {

// An X display name ("[host]:number[.screen]") can be connected to: its local socket
// for no host or "unix", else TCP port 6000 + number on the host (at most 2 s). A name
// of another form counts as reachable: the front end then decides.
bool XDisplayReachable(const std::string& Display);
// A Wayland display (a socket name, relative to RuntimeDir unless absolute) can be
// connected to.
bool WaylandDisplayReachable(const std::string& Display, const std::string& RuntimeDir);

// The display named by DISPLAY or WAYLAND_DISPLAY when one is named and none of them
// can be reached (nothing when QT_QPA_PLATFORM chooses a platform by name, or when no
// display is named: the front end reports that itself). The text names what was
// tried, e.g. "DISPLAY=:99".
std::optional<std::string> UnreachableDisplay();

} // namespace app
