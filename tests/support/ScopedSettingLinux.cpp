// Setting and removing an environment variable on Linux.
#include "ScopedSetting.h"

#include <cstdlib>

namespace testsupport {

void PutEnv(const std::string& name, const std::optional<std::string>& value) {
    if (value)
        setenv(name.c_str(), value->c_str(), 1);
    else
        unsetenv(name.c_str());
}

} // namespace testsupport
