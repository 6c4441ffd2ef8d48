// Byte strings and their rendering in the simulator's traffic log.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

// Milliseconds on the simulator's monotonic clock, counted from its start.
using Millis = std::int64_t;

inline Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline std::string ToText(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// "0A 03 01 C5": binary frames, two uppercase digits per byte.
std::string HexText(std::span<const std::uint8_t> bytes);

// The bytes between double quotes, control characters escaped (\r, \n, \x02),
// so that a text frame stays on one log line.
std::string QuotedText(std::span<const std::uint8_t> bytes);

} // namespace sim
