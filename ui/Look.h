#pragma once
// The window's look on Linux: one style everywhere, a sans font that reads well at
// the window's pixel sizes, and the classic button-face colour as the window colour.
class QApplication;

namespace ui {

void ApplyLook(QApplication& application);

} // namespace ui
