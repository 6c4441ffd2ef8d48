#pragma once
// The window's shared state as one JSON object: numbers as numbers, byte areas as
// arrays of numbers up to their last non-zero byte, and last "Counters", the
// exchange counters as an object (CountersJson).
#include "tool/Unit1.h"

#include <string>

namespace tool {

std::string DumpState(const TMainForm& form);

} // namespace tool
