#pragma once
// What the operating system says: its text for an error number, and the local time.
#include <ctime>
#include <string>

namespace port {

// The system's message text for an error number (on Windows also the socket library's
// numbers), or empty when it has none.
std::string SystemErrorText(int Number);
// The local time of a moment.
std::tm LocalTime(std::time_t Moment);

} // namespace port
