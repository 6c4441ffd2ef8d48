// The operating system's name for the trace and log headers: "Windows major.minor
// (build n)" as the kernel reports it (the compatibility layer of GetVersionEx would
// report what the program's manifest asks for).
#include "port/TraceText.h"

#include "winsys/Win32.h"

namespace port {

std::string OperatingSystemName() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto getVersion = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                                  reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                            : nullptr;
    if (!getVersion || getVersion(&info) != 0) return "Windows";
    return "Windows " + std::to_string(info.dwMajorVersion) + "." +
           std::to_string(info.dwMinorVersion) + " (build " + std::to_string(info.dwBuildNumber) +
           ")";
}

} // namespace port
