#pragma once
// The one main window a fuzz target feeds, made at its first use and kept for the run:
// a manual clock, so that no timer fires on its own, and no ports.
#include "tool/Unit1.h"

inline tool::TMainForm& FuzzForm() {
    static winsys::ManualClock clock;
    static winsys::EventLoop loop{clock};
    static tool::TMainForm form{loop, tool::TMainFormPorts{}};
    return form;
}
