#pragma once
// A bitmap button's glyph as a native bitmap: the BMP file's picture with the colour
// of its bottom left pixel taken as transparent, that is, painted in the button's
// face colour (as the window system's bitmap buttons draw their glyphs).
#include "winsys/Bitmap.h"
#include "winsys/Win32.h"

namespace winui {

// A new bitmap the caller frees with DeleteObject; nullptr for an empty glyph or one
// the system cannot read.
::HBITMAP GlyphBitmap(const winsys::Bitmap& glyph, COLORREF face);

} // namespace winui
