#include "tool/CommissioningMenu.h"

#include "tool/GridText.h"
#include "tool/Unit1.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tool {

namespace {

MenuEntry Separator() {
    return {};
}

MenuEntry RecordEntry(const TCommissioning& commissioning) {
    return {MenuCommand::Record, "Registra sessione", true, commissioning.Recording(), true};
}

MenuEntry ReportEntry() {
    return {MenuCommand::Report, "Rapporto di collaudo...", false, false, true};
}

} // namespace

const char* const RecordingSignText = "\u25CF REC";

std::vector<MenuEntry> GridMenuEntries(const TCommissioning& commissioning, int row) {
    return {RecordEntry(commissioning),
            Separator(),
            {MenuCommand::ExportGrid, "Esporta tabella CSV...", false, false, true},
            ReportEntry(),
            Separator(),
            {MenuCommand::Trend, "Trend", false, false, CanTrend(commissioning, row)}};
}

std::vector<MenuEntry> MonitorMenuEntries(const TCommissioning& commissioning) {
    return {Separator(), RecordEntry(commissioning), ReportEntry()};
}

std::string RecordingSignHint(const TCommissioning& commissioning) {
    std::string path = commissioning.ReadingsLogPath();
    if (path.empty()) return "Sessione in registrazione";
    return "Sessione in registrazione: " + std::filesystem::path(path).filename().string();
}

bool CanTrend(const TCommissioning& commissioning, int row) {
    const winsys::TStringGrid& grid = commissioning.Form().StringGrid3;
    return row > 0 && row < grid.RowCount() && !TrimmedCell(grid, 1, row).empty();
}

std::string TrendSeriesName(const winsys::TStringGrid& grid, int row) {
    return "Rif " + TrimmedCell(grid, 0, row) + "  " + TrimmedCell(grid, 1, row) + "  " +
           TrimmedCell(grid, 5, row) + "  " + TrimmedCell(grid, 6, row);
}

void ToggleRecording(TCommissioning& commissioning) {
    if (commissioning.Recording())
        commissioning.StopRecording();
    else
        commissioning.StartRecording();
}

std::string SuggestedExportName(WallTime now) {
    return "tabella-" + FileNameStamp(now) + ".csv";
}

std::string SuggestedReportName(WallTime now) {
    return "collaudo-" + FileNameStamp(now) + ".html";
}

bool IsPdfName(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".pdf";
}

} // namespace tool
