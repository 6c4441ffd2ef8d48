#include "ScopedSetting.h"

#include <cstdlib>

namespace testsupport {

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) previous_ = old;
    PutEnv(name_, value);
}

ScopedEnv::~ScopedEnv() {
    PutEnv(name_, previous_);
}

} // namespace testsupport
