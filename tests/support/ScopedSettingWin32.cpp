// Setting and removing an environment variable on Windows, which has no setenv: an
// empty value removes it.
#include "ScopedSetting.h"

#include <cstdlib>

namespace testsupport {

void PutEnv(const std::string& name, const std::optional<std::string>& value) {
    _putenv_s(name.c_str(), value ? value->c_str() : "");
}

} // namespace testsupport
