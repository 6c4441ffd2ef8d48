#include "FormFixture.h"
#include "ModbusReplies.h"
#include "tool/ModbusFrame.h"

#include <gtest/gtest.h>

using namespace fakes;
using namespace winsys;

namespace {

class Polling : public FormFixture {
  protected:
    void SetUp() override {
        WriteGlyphs();
        WriteFile("Table1.c", "Three entries\n"
                              ">454 d 4<1.8.0><a>\n"
                              ">462 l 2<1.8.1><b>\n"
                              ">470 c 12<C.1.0><c>\n");
        form->Button40.Click();
        form->Button45.Click(); // RTU
        serial->SetOpen(true);
    }
    // What the next tick sends, after ms of the clock: "start/quantity" of an RTU read,
    // or "-" when it sends nothing.
    std::string Tick(int64_t ms) {
        Advance(ms);
        std::string w = serial->TakeWritten();
        if (w.empty()) return "-";
        EXPECT_EQ(w.size(), 8u);
        auto b = [&](int i) { return static_cast<uint8_t>(w[i]); };
        return std::to_string(b(2) << 8 | b(3)) + "/" + std::to_string(b(5));
    }
    std::vector<std::string> Ticks(int n, int64_t ms) {
        std::vector<std::string> out;
        for (int i = 0; i < n; ++i)
            out.push_back(Tick(ms));
        return out;
    }
    bool StoppedLamps() {
        return form->Label43.Color() == clBtnFace && form->Label44.Color() == clLime &&
               form->Label45.Color() == clLime && !form->Timer6.Enabled();
    }
};

TEST_F(Polling, AutoRegCyclesThreeEntriesInFourTicks) {
    form->BitBtn2.Click();
    EXPECT_EQ(form->Timer6.Interval(), 700u);
    EXPECT_EQ(form->Label43.Color(), clLime);
    EXPECT_EQ(form->Label44.Color(), clBtnFace);
    EXPECT_EQ(form->BitBtn2.Glyph().fileName, "BmpOK.bmp");
    EXPECT_EQ(form->BitBtn3.Glyph().fileName, "BmpX.bmp");
    EXPECT_EQ(Ticks(6, 700),
              (std::vector<std::string>{"453/4", "461/2", "469/6", "-", "453/4", "461/2"}));
    EXPECT_EQ(form->StatusBar1.Text(), "    Interrogazione MODBUS");
}

TEST_F(Polling, EachTickBlanksItsRowAndTheReplyFillsIt) {
    form->BitBtn2.Click();
    Advance(700);
    EXPECT_EQ(form->StringGrid3.Cell(2, 1), "");
    EXPECT_EQ(form->Memo2.Text(), "");
    serial->Deliver(RtuReply(0x0A, {0, 0, 0, 0, 0, 0, 0x3F, 0xF0}));
    Advance(300);
    EXPECT_EQ(form->StringGrid3.Cell(2, 1), "1.000000");
    EXPECT_EQ(form->Memo2.Text(), "_0A_03_08_00_00_00_00_00_00_3F_F0_A1_47");
    Advance(400); // the next tick clears the monitor and polls row 2
    EXPECT_EQ(form->Memo2.Text(), "");
    EXPECT_EQ(form->StringGrid3.Cell(2, 1), "1.000000");
    EXPECT_EQ(form->PollRow, 2u);
}

TEST_F(Polling, StopKeepsThePlaceAndAutoRegContinuesAfterIt) {
    form->BitBtn2.Click();
    EXPECT_EQ(Ticks(2, 700), (std::vector<std::string>{"453/4", "461/2"}));
    form->Button42.Click();
    EXPECT_TRUE(StoppedLamps());
    EXPECT_EQ(form->BitBtn2.Glyph().fileName, "BmpX.bmp");
    EXPECT_EQ(Tick(2000), "-");
    form->BitBtn2.Click();
    EXPECT_EQ(Tick(700), "469/6");
    form->Button43.Click(); // Clear posizione: the next tick is row 1 again
    EXPECT_EQ(Tick(700), "453/4");
}

TEST_F(Polling, SingleRegRightAfterStartSendsNothingAndKeepsTheTitle) {
    form->BitBtn3.Click();
    EXPECT_EQ(form->BitBtn2.Glyph().fileName, "BmpX.bmp");
    EXPECT_EQ(form->BitBtn3.Glyph().fileName, "BmpOK.bmp");
    EXPECT_EQ(Ticks(3, 700), (std::vector<std::string>(3, "-")));
    EXPECT_EQ(form->StringGrid3.Cell(2, 0), "Valore letto");
    serial->Deliver(std::string("\x0A\x03\x02\x00\x07\x00\x00", 7)); // an unasked reply
    Advance(250);
    EXPECT_EQ(form->StringGrid3.Cell(2, 0), "Valore letto");
}

TEST_F(Polling, DoubleClickOnRow7PollsItOnceAndSingleRegRepeatsIt) {
    WriteFile(
        "Table1.c",
        "\n>1 i 1<><>\n>2 i 1<><>\n>3 i 1<><>\n>4 i 1<><>\n>5 i 1<><>\n>6 i 1<><>\n>7 h 1<><>\n");
    form->Button40.Click();
    form->StringGrid3.SetRow(7);
    form->StringGrid3.DblClick();
    EXPECT_EQ(Tick(99), "-");
    EXPECT_EQ(Tick(1), "6/1");
    EXPECT_TRUE(StoppedLamps());
    EXPECT_EQ(form->RowCursor, 7);
    EXPECT_EQ(Tick(1000), "-");
    form->BitBtn3.Click();
    EXPECT_EQ(Ticks(2, 700), (std::vector<std::string>{"6/1", "6/1"}));
}

TEST_F(Polling, AutoRegWhileCyclingKeepsTheRhythm) {
    form->BitBtn2.Click();
    Advance(400);
    form->BitBtn2.Click();
    EXPECT_EQ(Tick(300), "453/4");
}

TEST_F(Polling, TableRowsGiveAddressMinusOneAndTextCountsInRegisters) {
    WriteFile("Table1.c", "\n>1 c 12<><>\n>70000 i 3<><>\n>5 c 7<><>\n");
    form->Button40.Click();
    form->Edit10.SetText("266"); // slave address cut to 8 bits: 10
    form->BitBtn2.Click();
    EXPECT_EQ(Ticks(3, 700), (std::vector<std::string>{"0/6", "4463/3", "4/3"}));
    EXPECT_EQ(form->RequestQuantity, 3);
}

TEST_F(Polling, ModbusTcpFramingGoesOutOnBothOpenPorts) {
    network->SetOpen(true);
    form->Button35.Click();
    form->BitBtn2.Click();
    Advance(700);
    auto frame = serial->TakeWritten();
    EXPECT_EQ(frame.size(), 12u);
    EXPECT_EQ(network->TakeWritten(), frame);
    EXPECT_EQ(form->TransactionCounter, 1u);
}

TEST_F(Polling, WithNoPortOpenTicksStillBlankAndLightNothing) {
    serial->SetOpen(false);
    form->BitBtn2.Click();
    Advance(700);
    EXPECT_EQ(form->StringGrid3.Cell(2, 1), "");
    EXPECT_NE(form->Label18.Color(), clLime);
}

TEST_F(Polling, AMissingGlyphInASingleShotTickSendsNothing) {
    form->StringGrid3.SetRow(2);
    form->StringGrid3.DblClick();
    std::remove("BmpX.bmp");
    Advance(100); // the error of the tick reaches the error display
    EXPECT_EQ(serial->Written(), "");
    ASSERT_FALSE(Errors().empty());
    EXPECT_NE(Errors().back().find("BmpX.bmp"), std::string::npos);
    EXPECT_FALSE(form->Timer6.Enabled());
}

} // namespace
