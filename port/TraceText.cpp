#include "port/TraceText.h"

#include "port/PortErrors.h"

#include <cerrno>
#include <cstdlib>

namespace port {

// ---- File ----------------------------------------------------------------------------

TTextFile::~TTextFile() {
    if (File) std::fclose(File);
}

int32_t TTextFile::Open(const std::string& FileName, bool Append) {
    FirstError = 0;
    File = std::fopen(FileName.c_str(), Append ? "ab" : "wb"); // the same bytes on every platform
    if (!File) return FileErrorCode(errno);
    std::setvbuf(File, Buffer, _IOFBF, sizeof Buffer);
    return 0;
}

void TTextFile::Write(std::string_view Text) {
    if (!File || FirstError != 0 || Text.empty()) return;
    if (std::fwrite(Text.data(), 1, Text.size(), File) != Text.size())
        FirstError = errno != 0 ? errno : EIO;
}

int32_t TTextFile::Close() {
    if (!File) return FirstError != 0 ? FileErrorCode(FirstError) : 0;
    errno = 0;
    bool closed = std::fclose(File) == 0;
    File = nullptr;
    if (!closed && FirstError == 0) FirstError = errno != 0 ? errno : EIO;
    return FirstError != 0 ? FileErrorCode(FirstError) : 0;
}

// ---- Items ----------------------------------------------------------------------------

std::string TraceItemText(uint8_t Byte, bool InHex, bool AllHex) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    auto hex = [&] { return std::string{'[', Digits[Byte >> 4], Digits[Byte & 15], ']'}; };
    if (AllHex) return hex();
    uint8_t threshold = InHex ? 33 : 32;
    if (Byte >= threshold && Byte <= '~') return std::string(1, static_cast<char>(Byte));
    if (InHex) return hex();
    return "[" + std::to_string(Byte) + "]";
}

void TItemWrap::Item(std::string_view Text) {
    auto width = static_cast<uint32_t>(Text.size());
    if (Column + width > 78) {
        File.Write('\n');
        File.Write(Indent);
        Column = Restart;
    }
    Column += width;
    File.Write(Text);
}

// ---- Header texts ---------------------------------------------------------------------

std::string LogTimeText(uint32_t Ms) {
    std::string digits = std::to_string(Ms);
    if (digits.size() < 7) digits.insert(0, 7 - digits.size(), '0');
    digits.insert(digits.size() - 3, 1, '.');
    return digits;
}

std::string CompilerName() {
#if defined(__clang__)
    return "Clang " __clang_version__;
#elif defined(__GNUC__)
    return "GCC " __VERSION__;
#else
    return __VERSION__;
#endif
}

} // namespace port
