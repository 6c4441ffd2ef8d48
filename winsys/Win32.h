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

#include <cstdint>

namespace winsys {

// The system's handle of a message window of the event loop (window handles carry 32
// significant bits, sign-extended on 64-bit Windows).
inline ::HWND NativeWindow(uint32_t window) {
    return reinterpret_cast<::HWND>(static_cast<intptr_t>(static_cast<int32_t>(window)));
}

// The system message that the loop's message msg travels as (the loop's messages take
// the private range WM_USER to 0xBFFF).
inline UINT NativeMessage(uint32_t msg) {
    return WM_USER + msg;
}

} // namespace winsys
