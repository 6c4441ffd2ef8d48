#pragma once
// The readings grid as text: the rows that hold a register, the grid as CSV, and an
// aligned table for a terminal. Cells are taken without the blanks the grid pads
// them with and converted to UTF-8.
#include "winsys/Controls.h"

#include <functional>
#include <string>
#include <vector>

namespace tool {

// A cell's text without leading and trailing blanks.
std::string TrimmedCell(const winsys::TStringGrid& grid, int col, int row);

// The rows below the titles whose address cell is not blank, in order.
std::vector<int> FilledRows(const winsys::TStringGrid& grid);

// Row 0's titles and every filled row, all columns, as CSV (RFC 4180, UTF-8).
std::string GridCsv(const winsys::TStringGrid& grid);

// Columns Rif, Address, Value, Type, Count, OBIS, Note, Outcome of the filled rows,
// each column as wide as its widest text (counted in characters), two blanks between,
// one line per row after a title line. outcomeOf gives the last column's text.
std::string GridTable(const winsys::TStringGrid& grid,
                      const std::function<std::string(int row)>& outcomeOf);

} // namespace tool
