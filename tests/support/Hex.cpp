#include "Hex.h"

namespace testsupport {

std::string Hex(std::string_view bytes, std::string_view before, std::string_view between) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (i) out += between;
        out += before;
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string Hex(const uint8_t* bytes, size_t count, std::string_view before,
                std::string_view between) {
    return Hex(std::string_view(reinterpret_cast<const char*>(bytes), count), before, between);
}

} // namespace testsupport
