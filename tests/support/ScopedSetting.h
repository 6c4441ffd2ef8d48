#pragma once
// Guards for what a test changes outside itself: an environment variable, a global
// switch, a hook set through a function. Each puts the old state back when it goes
// out of scope, whether the test ends, fails an ASSERT or throws.
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace testsupport {

// Sets (or, with std::nullopt, removes) one environment variable.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Sets (or, with std::nullopt, removes) an environment variable: the platform's own
// call, for ScopedEnv.
void PutEnv(const std::string& name, const std::optional<std::string>& value);

// Gives a global variable a value for the scope.
template <class T> class ScopedValue {
  public:
    ScopedValue(T& target, T value) : target_(target), previous_(std::move(target)) {
        target_ = std::move(value);
    }
    ~ScopedValue() { target_ = std::move(previous_); }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

  private:
    T& target_;
    T previous_;
};

// Runs restore at the end of the scope: for switches set through a function.
class OnScopeExit {
  public:
    explicit OnScopeExit(std::function<void()> restore) : restore_(std::move(restore)) {}
    ~OnScopeExit() {
        if (restore_) restore_();
    }
    OnScopeExit(const OnScopeExit&) = delete;
    OnScopeExit& operator=(const OnScopeExit&) = delete;

  private:
    std::function<void()> restore_;
};

} // namespace testsupport
