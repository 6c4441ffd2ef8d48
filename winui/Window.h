#pragma once
// The main window on the Windows desktop.
namespace winui {

// Runs the main window, with its design-time ports, until it closes; returns the
// program's exit status. Call once, on the main thread.
int RunWindow();

} // namespace winui
