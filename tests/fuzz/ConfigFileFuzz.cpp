// Feeds arbitrary bytes to the start-up configuration file reader, both as a whole
// file and to the key readers on a buffer of exactly that size, so that any read
// outside the bytes given is caught by the address sanitizer.
#include "tool/ConfigFile.h"
#include "tool/RciSettings.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckWord(const tool::TConfigWord& w) {
    Check(w.text.size() < tool::ValueTextSize);
    Check(w.text.find_first_of("\r\n") == std::string::npos);
    Check(w.found || (w.text.empty() && !w.cut));
    Check(!w.cut || w.text.size() == tool::ValueTextSize - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    tool::TConfigReading r = tool::ReadConfigText(text, size);
    for (const tool::TConfigWord* w : {&r.Var1, &r.Var2, &r.Var3, &r.IpTest})
        CheckWord(*w);
    Check(r.textCut == (size >= 2000));
    int port = tool::RciPortFromNumber(r.RciPort);
    Check(port >= 1 && port <= 65535);

    // The key readers on exactly the given bytes: nothing at or beyond the length.
    int length = size > 4096 ? 4096 : static_cast<int>(size);
    std::vector<char> exact(text, text + length);
    const char* area = exact.empty() ? "" : exact.data();
    for (const char* key : {"ModAdd:", "Serie_1:", "Timer_T3:", "RCI_Port:"})
        (void)tool::ReadNumberAfterKey(area, key, length);
    char ValueText[tool::ValueTextSize] = {};
    for (const char* key : {"Var1:", "IP_TEST:"}) {
        if (tool::ReadTextAfterKey(area, key, length, ValueText) != tool::TWordRead::Missing) {
            Check(std::memchr(ValueText, '\0', sizeof ValueText) != nullptr);
        }
    }
    return 0;
}
