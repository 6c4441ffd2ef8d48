#pragma once
// <windows.h> for this project's Windows files. The system header turns names such as
// CreateWindow, PostMessage and SendMessage into macros, which would rename the
// event loop's own operations of the same names; they are undone here, and the
// Windows files call the system's wide-character functions by their full names.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef CreateWindow
#undef PostMessage
#undef SendMessage
#undef SendMessageTimeout
#undef GetMessage
#undef DispatchMessage
#undef PeekMessage
#undef CreateEvent
#undef CreateFile
#undef GetObject
#undef SetPort
#undef GetCurrentTime
#undef ERROR
