// The Modbus RTU frame check: CRC-16 with the reflected polynomial 0xA001,
// initial value 0xFFFF, no final inversion. Computed bit by bit, on purpose
// unlike the tool's table-driven one, so that the two can catch each other.
#pragma once

#include <cstdint>
#include <span>

namespace sim {

// The low-order byte of the result is transmitted first.
std::uint16_t Crc16(std::span<const std::uint8_t> data);

// True when the last two bytes of frame are the CRC of the bytes before them.
bool CrcMatches(std::span<const std::uint8_t> frame);

} // namespace sim
