#include "winsys/Clock.h"

#include <chrono>

namespace winsys {

int64_t SteadyClock::NowMs() const { return NowUs() / 1000; }

int64_t SteadyClock::NowUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

} // namespace winsys
