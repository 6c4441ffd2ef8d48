#include "ui/MemoText.h"

#include <algorithm>

namespace ui {

namespace {

bool CrOfCrLf(const std::string& text, size_t i) {
    return text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
}

} // namespace

QString MemoDisplay(const std::string& text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            out += QChar(u'\n');
        } else {
            out += QChar(c);
        }
    }
    return out;
}

int DisplayPos(const std::string& text, size_t pos) {
    int d = 0;
    for (size_t i = 0; i < std::min(pos, text.size()); ++i)
        if (!CrOfCrLf(text, i)) ++d;
    return d;
}

size_t ModelPos(const std::string& text, int displayPos) {
    size_t i = 0;
    for (int d = 0; i < text.size() && d < displayPos; ++d)
        i += CrOfCrLf(text, i) ? 2 : 1;
    return i;
}

std::string FromDisplay(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        char16_t u = c.unicode();
        if (u == u'\n' || u == 0x2029)
            out += "\r\n";
        else
            out += u <= 0xFF ? static_cast<char>(u) : '?';
    }
    return out;
}

} // namespace ui
