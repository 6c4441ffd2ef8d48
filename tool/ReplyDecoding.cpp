#include "tool/ReplyDecoding.h"

#include "tool/Exchanges.h"
#include "tool/HexText.h"
#include "tool/Unit1.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace tool {

namespace {

class ReplyView {
  public:
    ReplyView(std::span<const uint8_t> reply, bool modbusTcp)
        : reply_(reply), offset_(modbusTcp ? 6 : 0) {}
    uint8_t At(size_t i) const { return i < reply_.size() ? reply_[i] : 0; }
    unsigned ByteCount() const { return At(offset_ + 2); }
    uint8_t Data(size_t i) const { return At(offset_ + 3 + i); }
    uint16_t Register(size_t k) const {
        return static_cast<uint16_t>(Data(2 * k) << 8 | Data(2 * k + 1));
    }

  private:
    std::span<const uint8_t> reply_;
    size_t offset_;
};

template <class... Args> std::string Format(const char* format, Args... args) {
    char text[32];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// As "%.Nf" prints in the C locale, whatever numeric locale the process has (a front
// end's toolkit may set the desktop's, with a decimal comma).
std::string FixedText(double value, int decimals) {
    // Wide enough for the largest double (309 digits), the point and the decimals.
    char text[400];
    auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

std::string DecodeDouble(const ReplyView& r) {
    uint64_t bits = 0;
    for (int k = 3; k >= 0; --k)
        bits = bits << 16 | r.Register(k);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return FixedText(value, 6);
}

std::string DecodeMode32(const ReplyView& r) {
    static const float divisors[5] = {1.0f, 10.0f, 100.0f, 1000.0f, 10000.0f};
    float hi = r.Register(0), lo = r.Register(1);
    unsigned decimals = r.Register(2);
    if (decimals > 4) decimals = 0;
    // Formed wider, then kept as a float on purpose: the value shown has a float's
    // seven significant digits, not a double's.
    float value =
        static_cast<float>((static_cast<long double>(hi) * 65536 + lo) / divisors[decimals]);
    return FixedText(static_cast<double>(value), static_cast<int>(decimals));
}

std::string DecodeCharacters(const ReplyView& r) {
    size_t n = std::min(r.ByteCount(), 30u);
    char text[32] = {};
    for (size_t i = 0; i < n; ++i)
        text[i] = static_cast<char>(r.Data(i));
    for (size_t i = 0; i <= n; i += 2)
        std::swap(text[i], text[i + 1]);
    for (size_t i = 0; i < n; ++i)
        if (text[i] == 0) text[i] = ' ';
    return std::string(text, strnlen(text, sizeof text));
}

} // namespace

std::string DecodeValue(std::span<const uint8_t> reply, bool modbusTcp, char type) {
    ReplyView r(reply, modbusTcp);
    switch (type) {
    case 'd':
        return DecodeDouble(r);
    case 'M':
        return DecodeMode32(r);
    case 'i':
        return Format("%u", static_cast<unsigned>(r.Register(0)));
    case 'l':
        return Format("%u", static_cast<unsigned>(r.Register(1)) << 16 | r.Register(0));
    case 'h':
        return Format("0x%.4X", static_cast<unsigned>(r.Register(0)));
    case 'c':
        return DecodeCharacters(r);
    default:
        return {};
    }
}

std::string RenderReplyHex(std::span<const uint8_t> reply) {
    return HexPairs(reply, "_", "");
}

void TMainForm::CompleteResponse() {
    if (HexDisplay == 1) {
        auto received = static_cast<size_t>(RxCount);
        size_t kept = Exchanges().Complete({RxBuffer, received}, ModbusTcp == 1);
        // The start of a reply still arriving stays for the next completion.
        std::memmove(RxBuffer, RxBuffer + received - kept, kept);
        std::memset(RxBuffer + kept, 0, sizeof RxBuffer - kept);
        RxCount = static_cast<int32_t>(kept);
        Timer1.SetEnabled(false);
        if (kept) Timer1.SetEnabled(true);
        return;
    } else {
        const char* text = reinterpret_cast<const char*>(RxBuffer);
        Memo2.AppendText(std::string(text, strnlen(text, sizeof RxBuffer)));
        Memo2.CaretToEnd();
        Exchanges().ShownAsText();
    }
    std::memset(RxBuffer, 0, sizeof RxBuffer);
    RxCount = 0;
    Timer1.SetEnabled(false);
}

} // namespace tool
