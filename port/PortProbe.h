#pragma once
// A look at a serial device without using it: open and close it as the serial layer
// would, leaving its settings and queues alone.
#include <cstdint>
#include <string>

namespace port {

// 0, SerialDevice::InUse when another program holds the device, or another negative
// code of SerialDevice.
int32_t PlainProbe(const std::string& Path);

} // namespace port
