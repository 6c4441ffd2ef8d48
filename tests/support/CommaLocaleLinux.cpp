#include "CommaLocale.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fakes {

namespace {

constexpr const char* LocaleName = "it_IT.UTF-8";

// The folder holding the compiled locale, made on first use; "" when localedef failed
// (the reason in error).
const std::string& CompiledLocaleFolder(std::string& error) {
    static std::string folder, failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        char pattern[] = "/tmp/rvex-locale-XXXXXX";
        if (!mkdtemp(pattern)) {
            failure = "cannot make a temporary folder";
        } else {
            std::string command = std::string("localedef -i it_IT -f UTF-8 ") + pattern + "/" +
                                  LocaleName + " >/dev/null 2>&1";
            if (std::system(command.c_str()) == 0)
                folder = pattern;
            else
                failure = "localedef could not compile it_IT.UTF-8 (package locales)";
        }
    }
    error = failure;
    return folder;
}

} // namespace

ScopedCommaLocale::ScopedCommaLocale() {
    const char* now = std::setlocale(LC_NUMERIC, nullptr);
    previous_ = now ? now : "C";
    const std::string& folder = CompiledLocaleFolder(error_);
    if (folder.empty()) return;
    setenv("LOCPATH", folder.c_str(), 1);
    active_ = std::setlocale(LC_NUMERIC, LocaleName) != nullptr;
    if (!active_) error_ = "setlocale refused the compiled locale";
}

ScopedCommaLocale::~ScopedCommaLocale() {
    std::setlocale(LC_NUMERIC, previous_.c_str());
}

} // namespace fakes
