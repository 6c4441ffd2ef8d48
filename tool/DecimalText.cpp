#include "tool/DecimalText.h"

#include <algorithm>

namespace tool {

int32_t DecimalToLong(std::string_view text) {
    size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulated in 64 bits and held at the first value past the 32-bit range.
    constexpr int64_t Beyond = int64_t{INT32_MAX} + 2;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (magnitude < Beyond) magnitude = magnitude * 10 + (text[i] - '0');
    if (negative) return static_cast<int32_t>(-std::min(magnitude, int64_t{INT32_MAX} + 1));
    return static_cast<int32_t>(std::min(magnitude, int64_t{INT32_MAX}));
}

} // namespace tool
