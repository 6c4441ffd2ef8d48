#pragma once
// The window on a display. Returns the program's exit status.
namespace app {

int RunWindow(int argc, char** argv);

} // namespace app
