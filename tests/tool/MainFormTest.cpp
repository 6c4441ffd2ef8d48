#include "FormFixture.h"
#include "tool/FindKeyEnd.h"

#include <gtest/gtest.h>

using namespace fakes;
using namespace winsys;

namespace {

struct FindKeyEndCase {
    const char* text;
    int length;
    const char* key;
    int expected;
};

class FindKeyEndTable : public ::testing::TestWithParam<FindKeyEndCase> {};

TEST_P(FindKeyEndTable, FindsTheFirstOccurrenceWithinLength) {
    const auto& c = GetParam();
    EXPECT_EQ(tool::FindKeyEnd(c.text, c.key, c.length), c.expected) << c.text << " / " << c.key;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindKeyEndTable,
    ::testing::Values(FindKeyEndCase{"xab", 3, "ab", 3},
                      FindKeyEndCase{"aab", 3, "ab", 3}, // after a partial match
                      FindKeyEndCase{"IP_TIP_TEST:", 12, "IP_TEST:", 12},
                      FindKeyEndCase{"abab", 4, "ab", 2},  // first occurrence wins
                      FindKeyEndCase{"xxab", 3, "ab", -1}, // key ends past length
                      FindKeyEndCase{"xxab", 4, "ab", 4},  // ends exactly at length
                      FindKeyEndCase{"a\0ab", 4, "ab", 4}, // zero bytes are scanned
                      FindKeyEndCase{"abc", 3, "", -1}, FindKeyEndCase{"", 0, "a", -1}));

class MainForm : public FormFixture {};

// What the window holds before its start-up sequence runs and what no dump shows; the
// texts, colours, visibility and timers that start-up leaves are held against the
// window's description by the end-to-end start-up test (tests/e2e/StartUp.golden.jsonl).
TEST_F(MainForm, StateBeforeStartUpAndWhatTheDumpDoesNotShow) {
    EXPECT_EQ(form->ModbusTcp, 1u);
    EXPECT_EQ(form->StartModbusTcp, 0);
    EXPECT_EQ(form->Timer3.Interval(), 5000u);
    EXPECT_EQ(form->StringGrid3.ColWidths, (std::vector<int>{20, 52, 101, 20, 20, 92, 123}));
    EXPECT_FALSE(form->Button21.Visible());
    EXPECT_EQ(form->Edit9.MaxLength, 6);
    EXPECT_EQ(form->Label23.Color(), clMoneyGreen);
    EXPECT_EQ(form->DefaultButton, &form->BitBtn1);
    EXPECT_EQ(form->FindControl("Memo2"), &form->Memo2);
}

TEST_F(MainForm, StartUpRunsItsStepsInOrder) {
    std::vector<std::string> order;
    auto record = [&](Control& c) { c.OnClick = [&order, &c] { order.push_back(c.Name()); }; };
    record(form->Button23);
    record(form->Button46);
    record(form->Button42);
    record(form->Button45);
    record(form->Button35);
    form->FormCreate();
    EXPECT_EQ(order, (std::vector<std::string>{"Button23", "Button46", "Button42", "Button45"}));
    EXPECT_STREQ(form->TableFileName, "Table1.c");
    EXPECT_EQ(form->Memo2.Text(), "");
    EXPECT_EQ(form->StatusBar1.Color(), clGradientInactiveCaption);
    EXPECT_EQ(form->Label44.Color(), clLime);
    EXPECT_TRUE(form->Button21.Visible() && form->Edit2.Visible() && form->Label40.Visible() &&
                form->Label26.Visible());
    EXPECT_FALSE(form->Button22.Visible());
}

TEST_F(MainForm, StartModbusTcpOneClicksTheTcpButton) {
    WriteGlyphs();
    std::vector<std::string> order;
    form->Button23.OnClick = [&] { form->StartModbusTcp = 1; };
    form->Button35.OnClick = [&] { order.push_back("Button35"); };
    form->Button45.OnClick = [&] { order.push_back("Button45"); };
    form->FormCreate();
    EXPECT_EQ(order, std::vector<std::string>{"Button35"});
}

TEST_F(MainForm, AnErrorInAStepEndsTheSequenceAndReachesTheErrorDisplay) {
    bool framingClicked = false;
    form->Button42.OnClick = [] { throw Exception("Cannot open file \"BmpX.bmp\""); };
    form->Button45.OnClick = [&] { framingClicked = true; };
    application.Guard([&] { form->FormCreate(); });
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "Cannot open file \"BmpX.bmp\"");
    EXPECT_FALSE(framingClicked);
    EXPECT_FALSE(form->Button21.Visible());
    EXPECT_EQ(form->ModbusTcp, 1u);
}

TEST_F(MainForm, CloseSequenceClosesBothPortsAndSetsTheLabels) {
    serial->SetOpen(true);
    network->SetOpen(true);
    form->Label13.SetColor(clLime);
    form->FormClose();
    EXPECT_FALSE(serial->GetOpen());
    EXPECT_FALSE(network->GetOpen());
    EXPECT_EQ(form->Label2.Caption(), "Com CLOSE");
    EXPECT_EQ(form->Label13.Color(), clBtnFace);
    EXPECT_EQ(form->Label12.Color(), clBtnFace);
}

} // namespace
