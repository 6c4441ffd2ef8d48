// The comma locale on Windows: the system's own Italian locale, by its name for the C
// runtime.
#include "CommaLocale.h"

#include <clocale>

namespace fakes {

ScopedCommaLocale::ScopedCommaLocale() {
    const char* now = std::setlocale(LC_NUMERIC, nullptr);
    previous_ = now ? now : "C";
    for (const char* name : {"it-IT", "Italian_Italy.1252", "Italian"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            active_ = true;
            return;
        }
    }
    error_ = "setlocale knows no Italian locale";
}

ScopedCommaLocale::~ScopedCommaLocale() {
    std::setlocale(LC_NUMERIC, previous_.c_str());
}

} // namespace fakes
