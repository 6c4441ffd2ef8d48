#include "tool/HexText.h"

namespace tool {

std::string HexPairs(std::span<const uint8_t> bytes, std::string_view prefix,
                     std::string_view separator) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * (2 + prefix.size() + separator.size()));
    for (uint8_t b : bytes) {
        if (!out.empty()) out += separator;
        out += prefix;
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

} // namespace tool
