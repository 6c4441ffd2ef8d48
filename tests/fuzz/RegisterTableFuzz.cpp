// Any text as a register table: parsing stays within the text and its field limits,
// and filling the grid stays within its rows.
#include "FuzzForm.h"
#include "tool/RegisterTable.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    tool::TRegisterTable table = tool::ParseRegisterTable(text);
    if (table.Entries.size() > tool::MaxTableEntries) std::abort();
    for (const auto& e : table.Entries)
        if (e.Type.size() > 1 || e.Obis.size() > 21 || e.Note.size() > 21) std::abort();
    // Filling all 300 rows is slow beside the parse; a share of the inputs does it.
    if (size % 8 == 0) tool::FillRegisterGrid(FuzzForm(), table);
    return 0;
}
