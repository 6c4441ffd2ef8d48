#pragma once
// The one QApplication of the test program, on the offscreen platform unless the
// environment names another, with the window's look.
#include <functional>

class QApplication;

namespace uitest {

QApplication& Qt();

// Runs Qt's loop until done() holds or about five seconds have passed; the result
// of done() at the end.
bool RunQtUntil(const std::function<bool()>& done);

} // namespace uitest
