#pragma once
// One control as one JSON object: name, kind, text, color, visible, and the extra
// fields of combo boxes (items, itemIndex), grids (cells, row), memos (lines) and
// shapes (brush, pen).
#include "winsys/Controls.h"

#include <string>

namespace winsys {

std::string DumpControl(const Control& control);

} // namespace winsys
