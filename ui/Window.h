#pragma once
// The main window on a display, its logic driven from Qt's loop.
namespace ui {

// Runs the main window, with its design-time ports, until it closes; returns the
// program's exit status. Without a display (and no Qt platform named) it says so on
// standard error and returns 2 without starting Qt. Call once, on the main thread.
int RunWindow(int argc, char** argv);

} // namespace ui
