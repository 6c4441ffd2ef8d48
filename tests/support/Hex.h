#pragma once
// Bytes as upper-case hexadecimal, for messages and for comparing frames.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace testsupport {

// Each byte as two digits, `before` ahead of each byte and `between` between two:
// Hex("\x0A\x03") is "0A 03", Hex("\x0A\x03", "_", "") is "_0A_03".
std::string Hex(std::string_view bytes, std::string_view before = "",
                std::string_view between = " ");
std::string Hex(const uint8_t* bytes, size_t count, std::string_view before = "",
                std::string_view between = " ");

} // namespace testsupport
