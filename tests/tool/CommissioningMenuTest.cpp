// What the grid's and the monitor's context menus offer of the commissioning record,
// shared by the front ends: entries, check mark, Trend's enabled state, the suggested
// file names, and the switch of recording.
#include "tool/CommissioningMenu.h"
#include "CommissioningFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace fakes;

namespace {

std::vector<std::string> Texts(const std::vector<tool::MenuEntry>& entries) {
    std::vector<std::string> texts;
    for (const auto& entry : entries)
        texts.push_back(entry.command == tool::MenuCommand::Separator ? "-" : entry.text);
    return texts;
}

class CommissioningMenu : public CommissioningFixture {};

TEST_F(CommissioningMenu, EntriesFollowTheRecordingAndTheRows) {
    auto grid = tool::GridMenuEntries(*commissioning, 1);
    EXPECT_EQ(Texts(grid),
              (std::vector<std::string>{"Registra sessione", "-", "Esporta tabella CSV...",
                                        "Rapporto di collaudo...", "-", "Trend"}));
    EXPECT_TRUE(grid[0].checkable);
    EXPECT_FALSE(grid[0].checked);
    EXPECT_EQ(Texts(tool::MonitorMenuEntries(*commissioning)),
              (std::vector<std::string>{"-", "Registra sessione", "Rapporto di collaudo..."}));

    tool::ToggleRecording(*commissioning);
    ASSERT_TRUE(commissioning->Recording());
    EXPECT_TRUE(tool::GridMenuEntries(*commissioning, 1)[0].checked);
    EXPECT_TRUE(tool::MonitorMenuEntries(*commissioning)[1].checked);
    EXPECT_EQ(tool::RecordingSignHint(*commissioning),
              "Sessione in registrazione: letture-" + Stamp() + ".csv");
    EXPECT_TRUE(std::filesystem::exists("letture-" + Stamp() + ".csv"));
    tool::ToggleRecording(*commissioning);
    EXPECT_FALSE(commissioning->Recording());
    EXPECT_FALSE(tool::GridMenuEntries(*commissioning, 1)[0].checked);

    // Trend needs a row that holds a register.
    for (int row : {1, 2, 3})
        EXPECT_TRUE(tool::CanTrend(*commissioning, row)) << row;
    for (int row : {0, 4, -1, 100000})
        EXPECT_FALSE(tool::CanTrend(*commissioning, row)) << row;
    EXPECT_FALSE(tool::GridMenuEntries(*commissioning, 0).back().enabled);
    EXPECT_EQ(tool::TrendSeriesName(form->StringGrid3, 3), "Rif 3  470  2.8.0  tre");
}

TEST(CommissioningMenuNames, SuggestedNamesCarryTheTimeAndPdfIsAskedByItsEnding) {
    const auto t = std::chrono::system_clock::from_time_t(1781000000);
    EXPECT_EQ(tool::SuggestedExportName(t), "tabella-" + tool::FileNameStamp(t) + ".csv");
    EXPECT_EQ(tool::SuggestedReportName(t), "collaudo-" + tool::FileNameStamp(t) + ".html");
    EXPECT_TRUE(tool::IsPdfName("c:\\x\\collaudo.PDF"));
    EXPECT_TRUE(tool::IsPdfName("a.pdf"));
    EXPECT_FALSE(tool::IsPdfName("collaudo.html"));
    EXPECT_FALSE(tool::IsPdfName("pdf"));
    EXPECT_FALSE(tool::IsPdfName(""));
}

} // namespace
