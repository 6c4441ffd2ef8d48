#pragma once
// Wall-clock times as the tool's records write them, in local time.
#include <chrono>
#include <functional>
#include <string>

namespace tool {

using WallTime = std::chrono::system_clock::time_point;
// Where the records take the time from; tests give a clock of their own.
using WallClock = std::function<WallTime()>;
WallTime SystemWallTime();

// "2026-12-10T04:30:01.123": ISO 8601, local time, milliseconds.
std::string IsoLocalTime(WallTime t);
// "20261210-043001": the local time in a file name.
std::string FileNameStamp(WallTime t);

} // namespace tool
