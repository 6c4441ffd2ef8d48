#pragma once
#include <cstddef>

namespace tool {

// The position in text just after the first occurrence of the zero-terminated key
// within the first length bytes (zero bytes included), or -1. An empty key is never
// found. Unlike a scan that restarts its match at the byte after a mismatch, this
// also finds a key that begins inside a partial match of itself ("ab" in "aab").
int FindKeyEnd(const char* text, const char* key, int length);

} // namespace tool
