#include "winsys/Bitmap.h"

#include "winsys/Exception.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace winsys {

namespace {

uint32_t ReadLe(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | b[at + i];
    return v;
}

[[noreturn]] void Invalid(const std::string& fileName) {
    throw EInvalidGraphic("Bitmap image is not valid: \"" + fileName + "\"");
}

} // namespace

Bitmap LoadBitmapFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        throw EInvalidGraphic("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
    }
    Bitmap bmp;
    bmp.fileName = fileName;
    bmp.fileBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const auto& b = bmp.fileBytes;
    constexpr size_t FileHeader = 14;
    if (b.size() < FileHeader + 12 || b[0] != 'B' || b[1] != 'M') Invalid(fileName);
    uint32_t dataOffset = ReadLe(b, 10, 4);
    uint32_t infoSize = ReadLe(b, 14, 4);
    if (infoSize < 12 || FileHeader + infoSize > b.size()) Invalid(fileName);
    int32_t width, height;
    uint16_t bpp;
    if (infoSize == 12) {
        width = static_cast<int16_t>(ReadLe(b, 18, 2));
        height = static_cast<int16_t>(ReadLe(b, 20, 2));
        bpp = static_cast<uint16_t>(ReadLe(b, 24, 2));
    } else {
        if (infoSize < 40) Invalid(fileName);
        width = static_cast<int32_t>(ReadLe(b, 18, 4));
        height = static_cast<int32_t>(ReadLe(b, 22, 4));
        bpp = static_cast<uint16_t>(ReadLe(b, 28, 2));
    }
    if (height < 0) height = -height; // top-down rows
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) Invalid(fileName);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) Invalid(fileName);
    uint64_t rowBytes = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4;
    if (dataOffset < FileHeader + infoSize || dataOffset + rowBytes * height > b.size()) {
        Invalid(fileName);
    }
    bmp.width = width;
    bmp.height = height;
    bmp.bitsPerPixel = bpp;
    return bmp;
}

} // namespace winsys
