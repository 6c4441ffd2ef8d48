#pragma once
// The output rate a tty holds, as the kernel keeps it (any rate, not only the C
// library's codes). 0 when the descriptor is not a tty.
#include <cstdint>

uint32_t DeviceOutputSpeed(int Fd);
