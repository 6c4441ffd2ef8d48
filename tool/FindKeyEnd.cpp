#include "tool/FindKeyEnd.h"

#include <cstring>

namespace tool {

int FindKeyEnd(const char* text, const char* key, int length) {
    int m = static_cast<int>(std::strlen(key));
    if (m == 0 || length < m) return -1;
    for (int start = 0; start + m <= length; ++start) {
        if (std::memcmp(text + start, key, m) == 0) return start + m;
    }
    return -1;
}

} // namespace tool
