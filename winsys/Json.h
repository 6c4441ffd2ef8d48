#pragma once
// Small JSON writers for the headless runner's output.
#include <string>
#include <vector>

namespace winsys {

// A JSON string literal. Bytes are taken as Latin-1, so any byte sequence, a binary
// reply included, gives valid JSON.
std::string JsonString(const std::string& text);
std::string JsonStringArray(const std::vector<std::string>& items);

} // namespace winsys
