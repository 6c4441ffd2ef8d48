#include "winsys/Colors.h"

#include <cstdio>

namespace winsys {

std::string ColorName(TColor color) {
    switch (color) {
    case clBlack:
        return "clBlack";
    case clRed:
        return "clRed";
    case clLime:
        return "clLime";
    case clYellow:
        return "clYellow";
    case clMoneyGreen:
        return "clMoneyGreen";
    case clSkyBlue:
        return "clSkyBlue";
    case clBtnFace:
        return "clBtnFace";
    case clGradientInactiveCaption:
        return "clGradientInactiveCaption";
    default:
        break;
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(color & 0xFFFFFF));
    return text;
}

} // namespace winsys
