#include "tool/StatusLine.h"

namespace tool {

std::string StatusLine(const std::string& text) {
    std::string out;
    bool lineBreak = false;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            lineBreak = true;
            continue;
        }
        if (lineBreak && !out.empty()) out += " - ";
        lineBreak = false;
        out += c;
    }
    return out;
}

} // namespace tool
