#pragma once
// Numbers typed into fields or read from files and grid cells, converted the way the
// C runtime's decimal long conversion does: leading white space and one sign are
// allowed, the first character that is not a digit ends the number, no digit gives 0.
// Unlike atol it never overflows: a number beyond the range of long stops at the
// range's end, as strtol does. Callers cut the result to the width of their target.
#include <string_view>

namespace tool {

long DecimalToLong(std::string_view text);

} // namespace tool
