#pragma once
// What the context menus of the grid and the monitor offer of the commissioning
// record, the same in every front end: the entries with their texts, check mark and
// enabled state as they would open now, the names the save dialogs suggest, and the
// steps behind the entries that are more than one call. A front end draws the entries
// and calls back with the chosen command. Window thread only.
#include "tool/Commissioning.h"
#include "winsys/Controls.h"

#include <string>
#include <vector>

namespace tool {

enum class MenuCommand { Separator, Record, ExportGrid, Report, Trend };

struct MenuEntry {
    MenuCommand command = MenuCommand::Separator;
    std::string text;       // "" for a separator
    bool checkable = false; // "Registra sessione" shows whether the session records
    bool checked = false;
    bool enabled = true;
};

// The grid's menu for a grid row (0: no row under the pointer): "Registra sessione",
// a separator, "Esporta tabella CSV...", "Rapporto di collaudo...", a separator,
// "Trend" (enabled on a row that holds a register).
std::vector<MenuEntry> GridMenuEntries(const TCommissioning& commissioning, int row);
// What the monitor's menu adds after its own editing entries: a separator,
// "Registra sessione", "Rapporto di collaudo...".
std::vector<MenuEntry> MonitorMenuEntries(const TCommissioning& commissioning);

// The sign a window shows while the session records (UTF-8).
extern const char* const RecordingSignText;
// The sign's hint: which readings log is being written.
std::string RecordingSignHint(const TCommissioning& commissioning);

// A row can be followed in a trend when it holds a register.
bool CanTrend(const TCommissioning& commissioning, int row);
// A trend series' name: "Rif 1  454  1.8.0  energia" (number, address, OBIS, note).
std::string TrendSeriesName(const winsys::TStringGrid& grid, int row);

// Starts recording when it is off, stops it when it is on; raises as StartRecording.
void ToggleRecording(TCommissioning& commissioning);

// The names the save dialogs suggest: "tabella-YYYYMMDD-HHMMSS.csv",
// "collaudo-YYYYMMDD-HHMMSS.html".
std::string SuggestedExportName(WallTime now);
std::string SuggestedReportName(WallTime now);
// A report file name that asks for PDF (".pdf", any case).
bool IsPdfName(const std::string& path);

} // namespace tool
