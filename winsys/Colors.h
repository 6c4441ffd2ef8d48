#pragma once
// Colours as 0xRRGGBB, with the names the window's handlers use.
#include <cstdint>
#include <string>

namespace winsys {

using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0xFF0000;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xA6CAF0;
// System colours, fixed to the classic desktop scheme.
constexpr TColor clBtnFace = 0xF0F0F0;
constexpr TColor clGradientInactiveCaption = 0xD7E4F2;
constexpr TColor clWindow = 0xFFFFFF;

// The colour's name when it has one ("clLime"), else "#rrggbb".
std::string ColorName(TColor color);

} // namespace winsys
