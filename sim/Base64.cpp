#include "Base64.h"

namespace sim {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

} // namespace

std::string Base64Encode(std::string_view data) {
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        std::size_t n = data.size() - i < 3 ? data.size() - i : 3;
        unsigned group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group <<= 8;
            if (k < n) group |= static_cast<unsigned char>(data[i + k]);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            out += k <= n ? Alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
    }
    return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        bool last = i + 4 == text.size();
        unsigned group = 0;
        int pad = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            char c = text[i + k];
            int v = ValueOf(c);
            if (c == '=' && last && k >= 2) {
                ++pad;
                v = 0;
            } else if (v < 0 || pad > 0) {
                return std::nullopt;
            }
            group = group << 6 | static_cast<unsigned>(v);
        }
        out += static_cast<char>(group >> 16);
        if (pad < 2) out += static_cast<char>((group >> 8) & 0xFF);
        if (pad < 1) out += static_cast<char>(group & 0xFF);
    }
    return out;
}

} // namespace sim
