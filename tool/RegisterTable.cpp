#include "tool/RegisterTable.h"

#include "tool/DecimalText.h"
#include "tool/InputFile.h"
#include "tool/Unit1.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace tool {

namespace {

constexpr size_t AddressLimit = 11;
constexpr size_t FieldLimit = 21;

// Reads the fields of one entry line from just after its ">".
class EntryScanner {
  public:
    EntryScanner(std::string_view text, size_t start) : text_(text), p_(start) {}
    size_t Position() const { return p_; }

    bool AtLineEnd() const { return p_ >= text_.size() || text_[p_] == '\n' || text_[p_] == '\r'; }
    // The address keeps its closing blank; the number conversion ends there anyway.
    std::string Address() {
        std::string s;
        while (s.size() < AddressLimit && !AtLineEnd()) {
            char c = text_[p_++];
            s += c;
            if (c == ' ') break;
        }
        return s;
    }
    std::string Character() {
        if (AtLineEnd()) return {};
        return std::string(1, text_[p_++]);
    }
    void Skip() {
        if (!AtLineEnd()) ++p_;
    }
    // Up to the closer, which is taken but not kept; at the limit the next field
    // starts right after the last character kept.
    std::string Field(char closer) {
        std::string s;
        while (!AtLineEnd()) {
            char c = text_[p_];
            if (c == closer) {
                ++p_;
                break;
            }
            if (s.size() == FieldLimit) break;
            s += c;
            ++p_;
        }
        return s;
    }

  private:
    std::string_view text_;
    size_t p_;
};

// Fields are shown as the zero-terminated texts they were held in.
std::string UpToZero(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

std::string DecimalText(long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%ld", value);
    return text;
}

// The file's first MaxTableBytes bytes, and whether more followed. A cut text ends at
// its last whole line, so that no entry is loaded from half a line.
std::string ReadTableText(std::FILE* file, bool& cut) {
    auto buffer = std::make_unique<char[]>(MaxTableBytes + 1);
    size_t got = std::fread(buffer.get(), 1, MaxTableBytes + 1, file);
    cut = got > MaxTableBytes;
    std::string text(buffer.get(), cut ? MaxTableBytes : got);
    if (cut) text.erase(text.find_last_of('\n') + 1);
    return text;
}

} // namespace

const char* const RegisterGridTitles[7] = {"Rif", "Address",   "Valore letto",   "t",
                                           "n",   "OBIS code", "Note di esempio"};

TRegisterTable ParseRegisterTable(std::string_view text) {
    TRegisterTable table;
    size_t j = 0;
    while (j < text.size()) {
        bool entryStart = text[j] == '>' && (j == 0 || text[j - 1] == '\n');
        if (!entryStart) {
            ++j;
            continue;
        }
        EntryScanner scan(text, j + 1);
        TRegisterEntry entry;
        entry.Address = DecimalToLong(UpToZero(scan.Address()));
        entry.Type = UpToZero(scan.Character());
        entry.Count = DecimalToLong(UpToZero(scan.Field('<')));
        entry.Obis = UpToZero(scan.Field('>'));
        scan.Skip();
        entry.Note = UpToZero(scan.Field('>'));
        j = scan.Position();
        if (table.Entries.size() < MaxTableEntries)
            table.Entries.push_back(std::move(entry));
        else
            ++table.EntriesLeftOut;
    }
    return table;
}

void FillRegisterGrid(TMainForm& f, const TRegisterTable& table) {
    TStringGrid& grid = f.StringGrid3;
    for (int r = 1; r < grid.RowCount(); ++r) {
        for (int c = 1; c < 7; ++c)
            grid.SetCell(c, r, " ");
        grid.SetCell(0, r, std::to_string(r));
    }
    for (int c = 0; c < 7; ++c)
        grid.SetCell(c, 0, RegisterGridTitles[c]);
    int row = 1;
    for (const TRegisterEntry& e : table.Entries) {
        if (row >= grid.RowCount()) break;
        grid.SetCell(1, row, DecimalText(e.Address));
        grid.SetCell(2, row, "     ");
        grid.SetCell(3, row, e.Type);
        grid.SetCell(4, row, DecimalText(e.Count));
        grid.SetCell(5, row, e.Obis);
        grid.SetCell(6, row, e.Note);
        ++row;
    }
}

void TMainForm::LoadRegisterTable() {
    std::string name(TableFileName, strnlen(TableFileName, sizeof TableFileName));
    TRegisterTable table;
    bool cut = false;
    if (std::FILE* file = OpenInputFile(name.c_str())) {
        std::string text = ReadTableText(file, cut);
        std::fclose(file);
        table = ParseRegisterTable(text);
    }
    FillRegisterGrid(*this, table);
    if (cut || table.EntriesLeftOut) {
        std::string what = cut ? std::to_string(MaxTableBytes) + " bytes" : "";
        if (table.EntriesLeftOut)
            what += (cut ? " and " : "") + std::to_string(MaxTableEntries) + " entries";
        tableLoadNotice_ =
            "    " + name + ": only the first " + what + " loaded, the rest was left out";
        StatusBar1.SetText(tableLoadNotice_);
    } else if (!tableLoadNotice_.empty()) {
        // A complete load reports nothing; the notice of the table it replaced goes, unless
        // another status has taken its place meanwhile.
        if (StatusBar1.Text() == tableLoadNotice_) StatusBar1.SetText("");
        tableLoadNotice_.clear();
    }
    std::memset(TableFileName, 0, sizeof TableFileName);
    std::strcpy(TableFileName, "Table1.c");
}

namespace {

void LoadNamedTable(TMainForm& f, const char* name) {
    std::memset(f.TableFileName, 0, sizeof f.TableFileName);
    std::strcpy(f.TableFileName, name);
    f.LoadRegisterTable();
}

} // namespace

void TMainForm::Button40Click() {
    LoadNamedTable(*this, "Table1.c");
}

void TMainForm::Button7Click() {
    LoadNamedTable(*this, "Table2.c");
}

void TMainForm::StringGrid3Click() {
    StringGrid3.BringToFront();
}

} // namespace tool
