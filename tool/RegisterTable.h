#pragma once
// Register table files ("Table1.c", "Table2.c") and their loading into the readings
// grid StringGrid3.
//
// An entry is a line that begins with ">" (the first line of the file included):
//   >ADDRESS TYPE COUNT<OBIS><NOTE>        e.g.  >454 d 4<X1><Y1>
// address: up to 11 characters ending with the blank; type: the one character after
// it; count: up to 21 characters before "<"; OBIS code and note: up to 21 characters
// before ">" each, the note after one skipped character (normally "<"). A field that
// reaches its limit lets the next field start right after it. Every field ends at the
// end of its line, so a short or broken entry never takes anything from the next
// line. Every other line is ignored. Numbers read as the C runtime's decimal
// conversion reads them (DecimalText.h).
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tool {

class TMainForm;

// Bounds of the table: the text area holds 9999 bytes of a file, the grid 299 rows.
constexpr size_t MaxTableBytes = 9999;
constexpr size_t MaxTableEntries = 299;

struct TRegisterEntry {
    long Address = 0;
    std::string Type; // the type character, or "" when the line ended before it
    long Count = 0;
    std::string Obis;
    std::string Note;
};

struct TRegisterTable {
    std::vector<TRegisterEntry> Entries; // at most MaxTableEntries, in file order
    size_t EntriesLeftOut = 0;           // entries beyond MaxTableEntries
};

// Parses a table text of any length and contents.
TRegisterTable ParseRegisterTable(std::string_view text);

// The titles of row 0, column 0 to 6.
extern const char* const RegisterGridTitles[7];

// Blanks, numbers and titles the grid, then fills rows 1 on with the entries.
void FillRegisterGrid(TMainForm& f, const TRegisterTable& table);

} // namespace tool
