#pragma once
// A numeric locale with a decimal comma (it_IT.UTF-8), as a desktop in Italy gives
// the C library once a toolkit calls setlocale(LC_ALL, ""). The locale is compiled
// once per test program with localedef into a temporary folder named by LOCPATH, so
// no locale needs to be installed on the machine.
#include <string>

namespace fakes {

class ScopedCommaLocale {
  public:
    // Sets LC_NUMERIC to the comma locale; Active() tells whether that worked, and
    // Error() why not.
    ScopedCommaLocale();
    // Puts back the numeric locale there was before.
    ~ScopedCommaLocale();
    ScopedCommaLocale(const ScopedCommaLocale&) = delete;
    ScopedCommaLocale& operator=(const ScopedCommaLocale&) = delete;
    bool Active() const { return active_; }
    const std::string& Error() const { return error_; }

  private:
    std::string previous_;
    bool active_ = false;
    std::string error_;
};

} // namespace fakes
