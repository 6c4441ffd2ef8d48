#pragma once
// The polling engine: PollTick (Timer6) reads one grid row per tick, or performs the
// manual read, and never waits for the reply; the value (or the outcome's text) lands
// in column 2 of the row that request read when its reply is completed (Exchanges.h),
// however many ticks later. A manual read ends polling, lamps and glyphs included.
//
//   Stopped      Timer6 off                         "Poll STOP", start-up, a port closed
//   Cycling      700 ms, AutoAdvance 1              "Auto Reg": rows 1, 2, ... until a
//                                                   row whose address reads 0, then 1 again
//   Repeating    700 ms, AutoAdvance 0              "Single Reg": row RowCursor again
//   Single shot  100 ms, SingleShot 1               double click: the selected row once
//   Manual       100 ms, GridPolling 0              "Poll" on the monitor page, once
//
// The header row 0 is never written: a tick with PollRow 0 blanks nothing and its
// reply fills nothing. The handlers are TMainForm members; window thread only.
namespace tool {

// The tick intervals of continuous polling and of single requests.
constexpr unsigned PollIntervalMs = 700;
constexpr unsigned SingleRequestIntervalMs = 100;

} // namespace tool
