// Base64 (RFC 4648) for the LAN module's Basic authorization check.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sim {

std::string Base64Encode(std::string_view data);

// Nothing for text that is not Base64: a character outside the alphabet,
// a length that is not a multiple of four, or padding in the wrong place.
std::optional<std::string> Base64Decode(std::string_view text);

} // namespace sim
