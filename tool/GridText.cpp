#include "tool/GridText.h"

#include "tool/CsvText.h"
#include "tool/TextEncoding.h"

namespace tool {

namespace {

size_t Utf8Length(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

} // namespace

std::string TrimmedCell(const winsys::TStringGrid& grid, int col, int row) {
    const std::string& cell = grid.Cell(col, row);
    size_t first = cell.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return cell.substr(first, cell.find_last_not_of(' ') - first + 1);
}

std::vector<int> FilledRows(const winsys::TStringGrid& grid) {
    std::vector<int> rows;
    for (int r = grid.FixedRows; r < grid.RowCount(); ++r)
        if (!TrimmedCell(grid, 1, r).empty()) rows.push_back(r);
    return rows;
}

std::string GridCsv(const winsys::TStringGrid& grid) {
    auto line = [&](int row) {
        std::vector<std::string> fields;
        for (int c = 0; c < grid.ColCount(); ++c)
            fields.push_back(ToUtf8(TrimmedCell(grid, c, row)));
        return CsvLine(fields);
    };
    std::string csv = line(0);
    for (int row : FilledRows(grid))
        csv += line(row);
    return csv;
}

std::string GridTable(const winsys::TStringGrid& grid,
                      const std::function<std::string(int row)>& outcomeOf) {
    std::vector<std::vector<std::string>> lines{
        {"Rif", "Address", "Value", "Type", "Count", "OBIS", "Note", "Outcome"}};
    for (int row : FilledRows(grid)) {
        std::vector<std::string> cells;
        for (int c = 0; c < 7; ++c)
            cells.push_back(ToUtf8(TrimmedCell(grid, c, row)));
        cells.push_back(ToUtf8(outcomeOf(row)));
        lines.push_back(std::move(cells));
    }
    std::vector<size_t> widths(8, 0);
    for (const auto& cells : lines)
        for (size_t c = 0; c < cells.size(); ++c)
            widths[c] = std::max(widths[c], Utf8Length(cells[c]));
    std::string table;
    for (const auto& cells : lines) {
        std::string text;
        for (size_t c = 0; c < cells.size(); ++c) {
            text += cells[c];
            if (c + 1 < cells.size())
                text += std::string(widths[c] - Utf8Length(cells[c]) + 2, ' ');
        }
        table += text.substr(0, text.find_last_not_of(' ') + 1) + "\n";
    }
    return table;
}

} // namespace tool
