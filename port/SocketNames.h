#pragma once
// Checks on names and numbers that every platform's socket layer shares.
#include <string>
#include <string_view>

namespace port {

// RFC 6761: names of the "invalid" domain never exist; answered without the resolver.
bool IsReservedInvalidName(std::string Name);
// True for a non-empty text of decimal digits only.
bool AllDigits(std::string_view Text);

} // namespace port
