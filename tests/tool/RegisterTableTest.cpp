#include "tool/RegisterTable.h"
#include "CaseName.h"
#include "FormFixture.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fakes;
using namespace winsys;

namespace {

// One row as "address|type|count|obis|note".
std::string Row(const tool::TRegisterEntry& e) {
    return std::to_string(e.Address) + "|" + e.Type + "|" + std::to_string(e.Count) + "|" + e.Obis +
           "|" + e.Note;
}

std::vector<std::string> Rows(const std::string& text) {
    std::vector<std::string> rows;
    for (const auto& e : tool::ParseRegisterTable(text).Entries)
        rows.push_back(Row(e));
    return rows;
}

struct ParseCase {
    const char* what;
    std::string text;
    std::vector<std::string> rows;
};

class TableParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TableParsing, ReadsTheEntryLines) {
    EXPECT_EQ(Rows(GetParam().text), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableParsing,
    ::testing::Values(
        ParseCase{"the example entry", "title\n>454 d 4<X1><Y1>\n", {"454|d|4|X1|Y1"}},
        ParseCase{"blanks around the count", "\n>454 d  4 <X1><Y1>\n", {"454|d|4|X1|Y1"}},
        ParseCase{"an entry on the first line",
                  ">454 d 4<X1><Y1>\n>456 M 3<X2><Y2>\n",
                  {"454|d|4|X1|Y1", "456|M|3|X2|Y2"}},
        ParseCase{"no note: the next entry stays",
                  "\n>454 d 4<X1>\n>456 i 1<X2><Y2>\n",
                  {"454|d|4|X1|", "456|i|1|X2|Y2"}},
        ParseCase{"no note, CR LF lines",
                  "t\r\n>454 d 4<X1>\r\n>456 i 1<X2><Y2>\r\n",
                  {"454|d|4|X1|", "456|i|1|X2|Y2"}},
        ParseCase{"an entry cut after its type",
                  "\n>454 d\n>456 i 1<X2><Y2>",
                  {"454|d|0||", "456|i|1|X2|Y2"}},
        ParseCase{"only a marker", "\n>\n>456 i 1<X2><Y2>", {"0||0||", "456|i|1|X2|Y2"}},
        ParseCase{"comments and indented markers are no entries",
                  "# >1 d 4<a><b>\n  >2 d 4<a><b>\nx>3 i 1<a><b>\n",
                  {}},
        ParseCase{"overlong OBIS spills into the note",
                  "\n>1 h 1<ABCDEFGHIJKLMNOPQRSTUVWXYZ><n>\n",
                  {"1|h|1|ABCDEFGHIJKLMNOPQRSTU|WXYZ"}},
        ParseCase{"OBIS of exactly 21",
                  "\n>1 h 1<ABCDEFGHIJKLMNOPQRSTU><note>\n",
                  {"1|h|1|ABCDEFGHIJKLMNOPQRSTU|note"}},
        ParseCase{"overlong note is cut",
                  "\n>1 h 1<o><ABCDEFGHIJKLMNOPQRSTUVWXYZ>\n",
                  {"1|h|1|o|ABCDEFGHIJKLMNOPQRSTU"}},
        ParseCase{"overlong count spills into the OBIS code",
                  "\n>1 h 0000000000000000000012<o><n>\n",
                  {"1|h|0|12<o|n"}},
        ParseCase{"address without its blank stops at 11, beyond 32 bits saturated",
                  "\n>12345678901d 2<o><n>\n",
                  {"2147483647|d|2|o|n"}},
        ParseCase{"addresses beyond 32 bits stop at the range's ends",
                  "\n>4294967297 i 1<o><n>\n>-9999999999i 1<o><n>\n>2147483648 i 1<o><n>\n",
                  {"2147483647|i|1|o|n", "-2147483648|i|1|o|n", "2147483647|i|1|o|n"}},
        ParseCase{"address that is no number", "\n>x d 4<o><n>\n", {"0|d|4|o|n"}},
        ParseCase{"negative address and count", "\n>-5 d -3<o><n>\n", {"-5|d|-3|o|n"}},
        ParseCase{
            "rest of the entry line is ignored", "\n>1 i 1<a><b> >2 i 1<c><d>\n", {"1|i|1|a|b"}},
        ParseCase{
            "a zero byte ends a text field", std::string("\n>1 i 1<a\0b><n>\n", 16), {"1|i|1|a|n"}},
        ParseCase{"a last line without line break", "\n>7 c 12<o><n>", {"7|c|12|o|n"}}),
    [](const auto& info) { return CaseName(info.param.what); });

TEST(TableParsing, KeepsAtMost299EntriesAndCountsTheRest) {
    std::string text;
    for (int i = 1; i <= 305; ++i)
        text += ">" + std::to_string(i) + " i 1<o><n>\n";
    auto table = tool::ParseRegisterTable(text);
    ASSERT_EQ(table.Entries.size(), 299u);
    EXPECT_EQ(table.Entries.back().Address, 299);
    EXPECT_EQ(table.EntriesLeftOut, 6u);
}

class TableLoading : public FormFixture {
  protected:
    const TStringGrid& Grid() { return form->StringGrid3; }
    std::string RowText(int r) {
        std::string s;
        for (int c = 0; c < 7; ++c)
            s += (c ? "|" : "") + Grid().Cell(c, r);
        return s;
    }
};

TEST_F(TableLoading, FillsNumberedRowsUnderTheTitles) {
    WriteFile("Table1.c",
              "Register table\r\n>454 d 4<1.8.0><Energia>\r\n>462 c 12<C.1.0><Serie>\r\n");
    form->Button40.Click();
    EXPECT_EQ(RowText(0), "Rif|Address|Valore letto|t|n|OBIS code|Note di esempio");
    EXPECT_EQ(RowText(1), "1|454|     |d|4|1.8.0|Energia");
    EXPECT_EQ(RowText(2), "2|462|     |c|12|C.1.0|Serie");
    EXPECT_EQ(RowText(3), "3| | | | | | ");
    EXPECT_EQ(RowText(299), "299| | | | | | ");
    EXPECT_STREQ(form->TableFileName, "Table1.c");
    EXPECT_EQ(form->StatusBar1.Text(), "R-Vex test");
}

TEST_F(TableLoading, ASecondTableLeavesNoStaleRowsAndTheNextReloadIsTable1) {
    WriteFile("Table1.c", "\n>1 i 1<a><b>\n");
    WriteFile("Table2.c", "\n>10 i 1<a><b>\n>11 i 1<a><b>\n>12 i 1<a><b>\n");
    form->Button7.Click();
    EXPECT_EQ(Grid().Cell(1, 3), "12");
    EXPECT_STREQ(form->TableFileName, "Table1.c");
    form->Button46.Click();
    EXPECT_EQ(Grid().Cell(1, 1), "1");
    EXPECT_EQ(Grid().Cell(1, 2), " ");
    EXPECT_EQ(Grid().Cell(1, 3), " ");
}

TEST_F(TableLoading, AMissingFileLeavesABlankNumberedGridAndNoMessage) {
    form->StringGrid3.SetCell(1, 5, "stale");
    form->Button7.Click();
    EXPECT_EQ(RowText(5), "5| | | | | | ");
    EXPECT_EQ(Grid().Cell(2, 0), "Valore letto");
    EXPECT_EQ(form->StatusBar1.Text(), "R-Vex test");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(TableLoading, ALongFileLoadsItsWholeLinesWithin9999BytesAndSaysSo) {
    std::string text = ">1 i 1<o><n>\n";
    while (text.size() < 9990)
        text += "# padding\n";
    text.resize(9990, '#');
    text += "\n>2 i 1<o><n>\n>3 i 1<o><n>\n"; // the entry of 2 crosses byte 9999
    WriteFile("Table2.c", text);
    form->Button7.Click();
    EXPECT_EQ(Grid().Cell(1, 1), "1");
    EXPECT_EQ(Grid().Cell(1, 2), " ");
    EXPECT_EQ(form->StatusBar1.Text(),
              "    Table2.c: only the first 9999 bytes loaded, the rest was left out");
}

TEST_F(TableLoading, MoreThan299EntriesFillTheGridAndSaySo) {
    std::string text = "\n";
    for (int i = 1; i <= 320; ++i)
        text += ">" + std::to_string(i) + " i 1<o><n>\n";
    WriteFile("Table1.c", text);
    form->Button40.Click();
    EXPECT_EQ(Grid().Cell(1, 299), "299");
    EXPECT_EQ(form->StatusBar1.Text(),
              "    Table1.c: only the first 299 entries loaded, the rest was left out");
}

TEST_F(TableLoading, ALongFileWithTooManyEntriesSaysBothInOneLine) {
    std::string text;
    for (int i = 1; i <= 2000; ++i)
        text += ">" + std::to_string(i) + "\n";
    WriteFile("Table1.c", text);
    form->Button40.Click();
    EXPECT_EQ(Grid().Cell(1, 299), "299");
    EXPECT_EQ(
        form->StatusBar1.Text(),
        "    Table1.c: only the first 9999 bytes and 299 entries loaded, the rest was left out");
}

TEST_F(TableLoading, AClickOnTheGridBringsItToTheFront) {
    int before = Grid().ZOrder();
    form->StringGrid3.Click();
    EXPECT_GT(Grid().ZOrder(), before);
}

} // namespace
