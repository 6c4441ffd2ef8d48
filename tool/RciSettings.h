#pragma once
// Where the RCI client finds the TCP port of the LAN module's RCI service.
//
// The start-up configuration file sets it with the optional key "RCI_Port:" at every
// reading (Button23Click); a key that is missing or whose number is not 1 to 65535
// gives the default 80. A file that cannot be opened leaves it as it was.
//
// The tool has one main window, so one value serves it. Window thread only.

namespace tool {

constexpr int DefaultRciPort = 80;

extern int RciPort;

// The port that a "RCI_Port:" number selects: the number when it is 1 to 65535,
// else DefaultRciPort (-1, the missing key, included).
int RciPortFromNumber(long number);

} // namespace tool
