#include "tool/RciSettings.h"

namespace tool {

int RciPort = DefaultRciPort;

int RciPortFromNumber(long number) {
    return number >= 1 && number <= 65535 ? static_cast<int>(number) : DefaultRciPort;
}

} // namespace tool
