#pragma once
// Test data for byte streams.
#include <cstddef>
#include <string>

namespace testsupport {

// count bytes that run through every value, a byte seldom equal to its neighbour's
// successor, so that a lost, doubled or reordered byte shows.
inline std::string BytePattern(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace testsupport
