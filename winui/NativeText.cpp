#include "winui/NativeText.h"

namespace winui {

namespace {
constexpr wchar_t NullSymbol = 0x2400;
} // namespace

std::wstring Wide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        out += byte == 0 ? NullSymbol : static_cast<wchar_t>(byte);
    }
    return out;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (c == NullSymbol)
            out += '\0';
        else
            out += c <= 0xFF ? static_cast<char>(c) : '?';
    }
    return out;
}

std::wstring WideUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), length);
    return out;
}

std::wstring WindowText(::HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

} // namespace winui
