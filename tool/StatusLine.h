#pragma once
// The status bar shows one line: the text of the status bar as it is drawn.
#include <string>

namespace tool {

// Line breaks (CR LF, LF or CR) at the end are dropped; those between lines become
// " - ", so "Error recieving main data chunk!\nError code: 10054\n" is drawn as
// "Error recieving main data chunk! - Error code: 10054".
std::string StatusLine(const std::string& text);

} // namespace tool
