#pragma once
// Bytes as upper-case hexadecimal pairs, as the monitor, the readings log and the
// traffic log show them.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tool {

// Each byte as two upper-case digits, with `prefix` before every pair and `separator`
// between pairs: ("_", "") gives "_0A_03", ("", " ") gives "0A 03".
std::string HexPairs(std::span<const uint8_t> bytes, std::string_view prefix,
                     std::string_view separator);

// "0A 03 01 C5": bytes in spaced upper-case hexadecimal.
inline std::string SpacedHex(std::span<const uint8_t> bytes) {
    return HexPairs(bytes, "", " ");
}

} // namespace tool
