#pragma once
// Host to network byte order for the port's own code, the same on every platform.
#include <bit>
#include <cstdint>

namespace port {

constexpr uint16_t HostToNet16(uint16_t Value) {
    return std::endian::native == std::endian::big
               ? Value
               : static_cast<uint16_t>((Value << 8) | (Value >> 8));
}

constexpr uint32_t HostToNet32(uint32_t Value) {
    if constexpr (std::endian::native == std::endian::big) return Value;
    return (Value >> 24) | ((Value >> 8) & 0xFF00u) | ((Value << 8) & 0xFF0000u) | (Value << 24);
}

} // namespace port
