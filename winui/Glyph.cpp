#include "winui/Glyph.h"

#include <cstring>
#include <vector>

namespace winui {

::HBITMAP GlyphBitmap(const winsys::Bitmap& glyph, COLORREF face) {
    const std::vector<uint8_t>& file = glyph.fileBytes;
    if (glyph.width <= 0 || glyph.height <= 0 ||
        file.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))
        return nullptr;
    BITMAPFILEHEADER header;
    std::memcpy(&header, file.data(), sizeof header);
    if (header.bfOffBits >= file.size()) return nullptr;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(file.data() + sizeof header);
    const uint8_t* bits = file.data() + header.bfOffBits;

    // The file's picture in 32-bit pixels, top row first, whatever its own format.
    const int width = glyph.width, height = glyph.height;
    ::HDC screen = GetDC(nullptr);
    ::HBITMAP source =
        CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS);
    BITMAPINFO top{};
    top.bmiHeader.biSize = sizeof top.bmiHeader;
    top.bmiHeader.biWidth = width;
    top.bmiHeader.biHeight = -height;
    top.bmiHeader.biPlanes = 1;
    top.bmiHeader.biBitCount = 32;
    top.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    const bool read = source && GetDIBits(screen, source, 0, static_cast<UINT>(height),
                                          pixels.data(), &top, DIB_RGB_COLORS) == height;
    if (source) DeleteObject(source);
    if (!read) {
        ReleaseDC(nullptr, screen);
        return nullptr;
    }
    const uint32_t key = pixels[static_cast<size_t>(height - 1) * width] & 0xFFFFFF;
    const uint32_t faceBgr = (static_cast<uint32_t>(GetRValue(face)) << 16) |
                             (static_cast<uint32_t>(GetGValue(face)) << 8) | GetBValue(face);
    for (uint32_t& pixel : pixels)
        pixel = 0xFF000000 | ((pixel & 0xFFFFFF) == key ? faceBgr : (pixel & 0xFFFFFF));

    void* target = nullptr;
    ::HBITMAP result = CreateDIBSection(screen, &top, DIB_RGB_COLORS, &target, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!result) return nullptr;
    std::memcpy(target, pixels.data(), pixels.size() * sizeof pixels[0]);
    return result;
}

} // namespace winui
