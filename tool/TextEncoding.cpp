#include "tool/TextEncoding.h"

#include <cstdint>

namespace tool {

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<uint8_t>(text[i]);
        size_t more;
        uint32_t code;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            more = 1;
            code = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            more = 2;
            code = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            more = 3;
            code = b & 0x07;
        } else {
            return false;
        }
        if (i + more >= text.size()) return false; // cut short
        for (size_t k = 1; k <= more; ++k) {
            auto c = static_cast<uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            code = code << 6 | (c & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (code < least[more] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += more + 1;
    }
    return true;
}

std::string ToUtf8(std::string_view text) {
    if (IsValidUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text)
        AppendUtf8(out, static_cast<uint8_t>(c));
    return out;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    for (char c : ToUtf8(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '\t':
        case '\r':
        case '\n':
            out += c;
            break;
        default:
            if (static_cast<uint8_t>(c) < 0x20)
                AppendUtf8(out, 0x2400 + static_cast<uint8_t>(c));
            else if (c == 0x7F)
                AppendUtf8(out, 0x2421);
            else
                out += c;
        }
    }
    return out;
}

} // namespace tool
