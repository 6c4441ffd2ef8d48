#pragma once
// Numbers typed into fields or read from files and grid cells, converted the way the
// C runtime's decimal long conversion does on the platform the files were written
// for, where long has 32 bits: leading white space and one sign are allowed, the first
// character that is not a digit ends the number, no digit gives 0. A number beyond
// that range stops at its end (2147483647 or -2147483648), as strtol does, so a
// large number is never read as a small one. Callers cut the result to the width of
// their target.
#include <cstdint>
#include <string_view>

namespace tool {

int32_t DecimalToLong(std::string_view text);

} // namespace tool
