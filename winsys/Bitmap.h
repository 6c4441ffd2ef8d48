#pragma once
// Glyph bitmaps: BMP files read from the current directory and checked to be valid.
#include <cstdint>
#include <string>
#include <vector>

namespace winsys {

struct Bitmap {
    std::string fileName;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::vector<uint8_t> fileBytes; // the whole file, for the front end to draw
};

// Reads and checks a BMP file. Raises EInvalidGraphic naming the file when it is
// missing, unreadable or not a valid BMP.
Bitmap LoadBitmapFile(const std::string& fileName);

} // namespace winsys
