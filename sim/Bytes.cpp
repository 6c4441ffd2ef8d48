#include "Bytes.h"

#include <cstdio>

namespace sim {

std::string HexText(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    char cell[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(cell, sizeof cell, "%02X", bytes[i]);
        if (i > 0) out += ' ';
        out += cell;
    }
    return out;
}

std::string QuotedText(std::span<const std::uint8_t> bytes) {
    std::string out = "\"";
    char cell[8];
    for (std::uint8_t c : bytes) {
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += static_cast<char>(c);
            } else {
                std::snprintf(cell, sizeof cell, "\\x%02X", c);
                out += cell;
            }
        }
    }
    out += '"';
    return out;
}

} // namespace sim
