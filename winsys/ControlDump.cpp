#include "winsys/ControlDump.h"

#include "winsys/Json.h"
#include "winsys/Timer.h"

namespace winsys {

std::string DumpControl(const Control& c) {
    std::string out =
        "{\"name\":" + JsonString(c.Name()) + ",\"kind\":" + JsonString(KindName(c.Kind())) +
        ",\"text\":" + JsonString(c.Text()) + ",\"color\":" + JsonString(ColorName(c.Color())) +
        ",\"visible\":" + (c.Visible() ? "true" : "false");
    switch (c.Kind()) {
    case ControlKind::ComboBox: {
        const auto& combo = static_cast<const TComboBox&>(c);
        out += ",\"items\":" + JsonStringArray(combo.Items()) +
               ",\"itemIndex\":" + std::to_string(combo.ItemIndex());
        break;
    }
    case ControlKind::StringGrid: {
        const auto& grid = static_cast<const TStringGrid&>(c);
        out += ",\"cells\":[";
        for (int r = 0; r < grid.RowCount(); ++r) {
            std::vector<std::string> row;
            for (int col = 0; col < grid.ColCount(); ++col)
                row.push_back(grid.Cell(col, r));
            out += (r ? "," : "") + JsonStringArray(row);
        }
        out += "],\"row\":" + std::to_string(grid.Row());
        break;
    }
    case ControlKind::Memo:
        out += ",\"lines\":" + JsonStringArray(static_cast<const TMemo&>(c).Lines());
        break;
    case ControlKind::Shape: {
        const auto& shape = static_cast<const TShape&>(c);
        out += ",\"brush\":" + JsonString(ColorName(shape.BrushColor())) +
               ",\"pen\":" + JsonString(ColorName(shape.PenColor()));
        break;
    }
    case ControlKind::Timer:
        out += ",\"enabled\":" + std::string(c.Enabled() ? "true" : "false") +
               ",\"interval\":" + std::to_string(static_cast<const TTimer&>(c).Interval());
        break;
    case ControlKind::BitBtn:
        out += ",\"glyph\":" + JsonString(static_cast<const TBitBtn&>(c).Glyph().fileName);
        break;
    default:
        break;
    }
    return out + "}";
}

} // namespace winsys
