#include "tool/DecimalText.h"

#include <climits>

namespace tool {

long DecimalToLong(std::string_view text) {
    size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulated as a negative number, whose range reaches LONG_MIN.
    long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (value < (LONG_MIN + digit) / 10) saturated = true;
        if (!saturated) value = value * 10 - digit;
    }
    if (saturated) return negative ? LONG_MIN : LONG_MAX;
    if (!negative) return value == LONG_MIN ? LONG_MAX : -value;
    return value;
}

} // namespace tool
