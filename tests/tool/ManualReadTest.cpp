#include "CaseName.h"
#include "FormFixture.h"
#include "Hex.h"
#include "ModbusReplies.h"

#include <gtest/gtest.h>

using namespace fakes;
using namespace winsys;

namespace {

using testsupport::Hex;

class ManualRead : public FormFixture {
  protected:
    void SetUp() override {
        WriteGlyphs();
        form->Button45.Click();
        serial->SetOpen(true);
    }
    // Presses "Poll" and lets the tick run; returns what it sent.
    std::string Poll() {
        form->Button47.Click();
        Advance(100);
        return serial->TakeWritten();
    }
};

TEST_F(ManualRead, TheWorkedExampleReadsADoubleIntoEdit20) {
    form->Edit20.SetText("old");
    EXPECT_EQ(Hex(Poll()), "0A 03 01 C6 00 04 A4 B3");
    EXPECT_EQ(form->Edit20.Text(), "");
    EXPECT_FALSE(form->Timer6.Enabled());
    EXPECT_EQ(form->ValueType, static_cast<uint32_t>('d'));
    serial->Deliver(RtuReply(0x0A, {0, 0, 0, 0, 0, 0, 0x40, 0x59}));
    Advance(250);
    EXPECT_EQ(form->Edit20.Text(), "100.000000");
}

struct QuantityCase {
    const char* type;
    int quantity;
};

class ManualQuantities : public ManualRead, public ::testing::WithParamInterface<QuantityCase> {};

TEST_P(ManualQuantities, TheTypeSetsTheRegisterCount) {
    form->ComboBox4.TypeText(GetParam().type);
    std::string frame = Poll();
    ASSERT_EQ(frame.size(), 8u);
    EXPECT_EQ(static_cast<uint8_t>(frame[5]), GetParam().quantity);
}

INSTANTIATE_TEST_SUITE_P(Cases, ManualQuantities,
                         ::testing::Values(QuantityCase{"caratteri", 6}, QuantityCase{"double", 4},
                                           QuantityCase{"int", 1}, QuantityCase{"long int", 2},
                                           QuantityCase{"hex", 1}, QuantityCase{"MODE_32", 4},
                                           QuantityCase{"mode32", 0}, QuantityCase{"", 0}),
                         [](const auto& info) {
                             return info.param.type[0] ? CaseName(info.param.type)
                                                       : std::string("empty");
                         });

struct StartCase {
    const char* address;
    const char* offset;
    int start;
};

class ManualStarts : public ManualRead, public ::testing::WithParamInterface<StartCase> {};

TEST_P(ManualStarts, TheStartIsAddressPlusOffsetMinusOne) {
    form->ComboBox2.TypeText(GetParam().address);
    form->Edit11.SetText(GetParam().offset);
    std::string frame = Poll();
    ASSERT_EQ(frame.size(), 8u);
    EXPECT_EQ(static_cast<uint8_t>(frame[2]) << 8 | static_cast<uint8_t>(frame[3]),
              GetParam().start);
}

INSTANTIATE_TEST_SUITE_P(Cases, ManualStarts,
                         ::testing::Values(StartCase{"454", "1", 454}, StartCase{"454", "0", 453},
                                           StartCase{"1", "0", 0}, StartCase{"", "1", 0},
                                           StartCase{"", "0", 0xFFFF}, StartCase{"65536", "1", 0},
                                           StartCase{" 836x", "257", 836},
                                           // Beyond 32 bits: the range's end, then cut.
                                           StartCase{"2147483648", "1", 0xFFFF},
                                           StartCase{"4294967297", "1", 0xFFFF},
                                           StartCase{"-9999999999", "1", 0}));

TEST_F(ManualRead, PollWhileCyclingStopsTheTableAndDecodesIntoEdit20) {
    WriteFile("Table1.c", "\n>100 i 1<><>\n");
    form->Button40.Click();
    form->ComboBox4.TypeText("int");
    form->BitBtn2.Click();
    Advance(700);
    serial->TakeWritten();
    Advance(300);
    EXPECT_EQ(Poll().size(), 8u);
    EXPECT_FALSE(form->Timer6.Enabled());
    EXPECT_EQ(form->GridPolling, 0u);
    // The lamps and glyphs say polling has stopped.
    EXPECT_EQ(form->Label43.Color(), clBtnFace);
    EXPECT_EQ(form->Label44.Color(), clLime);
    EXPECT_EQ(form->Label45.Color(), clLime);
    EXPECT_EQ(form->BitBtn2.Glyph().fileName, "BmpX.bmp");
    EXPECT_EQ(form->BitBtn3.Glyph().fileName, "BmpX.bmp");
    serial->Deliver(RtuReply(0x0A, {0x00, 0x2A}));
    Advance(1000);
    EXPECT_EQ(form->Edit20.Text(), "42");
    // The table's last request, which nothing answered before the manual one went out.
    EXPECT_EQ(form->StringGrid3.Cell(2, 1), "no reply");
    EXPECT_EQ(serial->Written(), ""); // table polling does not resume by itself
}

TEST_F(ManualRead, AfterASingleShotPollFirstTakesTheSelectedRowAndStops) {
    WriteFile("Table1.c", "\n>100 i 1<><>\n>200 i 1<><>\n");
    form->Button40.Click();
    form->StringGrid3.SetRow(2);
    form->StringGrid3.DblClick();
    Advance(100);
    serial->TakeWritten();
    serial->Deliver(RtuReply(0x0A, {0x00, 0x05}));
    Advance(250);
    EXPECT_EQ(form->StringGrid3.Cell(2, 2), "5");
    EXPECT_EQ(Hex(Poll()), "0A 03 01 C6 00 04 A4 B3");
    EXPECT_EQ(form->RowCursor, 2);
    EXPECT_EQ(form->StringGrid3.Cell(2, 2), "");
    EXPECT_EQ(form->Label44.Color(), clLime);
}

} // namespace
