#pragma once
// The output of a headless run of rvex-tool, read as what it is: each dump line parsed
// into the control it describes, so that a check names the control and, for the grid,
// the cell it means.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

using Json = nlohmann::json;

class RunnerOutput {
  public:
    explicit RunnerOutput(const std::string& text);

    // Every dump of the named control, in the order printed.
    std::vector<Json> Dumps(const std::string& name) const;
    // The one dump of the named control; an empty object when there is none or more
    // than one (the check that follows then fails naming what it looked for).
    Json Dump(const std::string& name) const;
    // All dumps, in the order printed.
    const std::vector<Json>& AllDumps() const { return dumps_; }
    // The lines that print "error: ...", without the prefix.
    std::vector<std::string> Errors() const;
    // The lines that are not control dumps (errors, states, ...).
    const std::vector<std::string>& OtherLines() const { return other_; }

  private:
    std::vector<Json> dumps_;
    std::vector<std::string> other_;
};

// A string member of a dump ("text", "color", "brush", "glyph", ...) as the tool's own
// bytes (the dump prints them as Latin-1); "<no MEMBER>" when the dump has none.
std::string Field(const Json& dump, const std::string& member);
// The text of cell (column, row) of a grid's dump, as Field gives it; "<no cell C,R>"
// when the grid has no such cell.
std::string Cell(const Json& grid, size_t column, size_t row);
// The lines of a memo's dump.
std::vector<std::string> Lines(const Json& memo);
// The items of a combo box's dump.
std::vector<std::string> Items(const Json& combo);

} // namespace testsupport
