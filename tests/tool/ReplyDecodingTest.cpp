#include "tool/ReplyDecoding.h"
#include "CaseName.h"
#include "FormFixture.h"
#include "ModbusReplies.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace fakes;
using namespace winsys;

namespace {

using Bytes = std::vector<uint8_t>;

// An RTU reply (slave 0A, function 03) with its byte count and data; the two CRC bytes
// are not read by the decoder and left as 0.
Bytes Rtu(const Bytes& data, int byteCount = -1) {
    Bytes r = {0x0A, 0x03, static_cast<uint8_t>(byteCount < 0 ? data.size() : byteCount)};
    r.insert(r.end(), data.begin(), data.end());
    r.insert(r.end(), {0, 0});
    return r;
}

Bytes Tcp(const Bytes& data) {
    Bytes r = {0x00, 0x01, 0x00,
               0x00, 0x00, static_cast<uint8_t>(3 + data.size()),
               0x0A, 0x03, static_cast<uint8_t>(data.size())};
    r.insert(r.end(), data.begin(), data.end());
    return r;
}

struct DecodeCase {
    const char* what;
    char type;
    bool tcp;
    Bytes reply;
    const char* text;
};

class ValueDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(ValueDecoding, GivesTheTextOfTheTypeLetter) {
    const DecodeCase& c = GetParam();
    EXPECT_EQ(tool::DecodeValue(c.reply, c.tcp, c.type), c.text) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueDecoding,
    ::testing::Values(
        DecodeCase{"double one, first register lowest", 'd', false,
                   Rtu({0, 0, 0, 0, 0, 0, 0x3F, 0xF0}), "1.000000"},
        DecodeCase{"double in tcp", 'd', true, Tcp({0, 0, 0, 0, 0, 0, 0xC0, 0x04}), "-2.500000"},
        DecodeCase{"long int, first register low word", 'l', false, Rtu({0, 1, 0, 2}), "131073"},
        DecodeCase{"int", 'i', false, Rtu({0, 1, 0, 2}), "1"},
        DecodeCase{"int unsigned", 'i', true, Tcp({0xFF, 0xFE}), "65534"},
        DecodeCase{"hex", 'h', false, Rtu({0, 1, 0, 2}), "0x0001"},
        DecodeCase{"hex uppercase", 'h', false, Rtu({0xAB, 0xCD}), "0xABCD"},
        DecodeCase{"long int top", 'l', false, Rtu({0xFF, 0xFF, 0xFF, 0xFF}), "4294967295"},
        DecodeCase{"mode32 example", 'M', false, Rtu({0x00, 0x01, 0xBF, 0x47, 0x00, 0x02}),
                   "1145.03"},
        DecodeCase{"mode32 no decimals", 'M', false, Rtu({0x00, 0x00, 0x04, 0xD2, 0x00, 0x00}),
                   "1234"},
        DecodeCase{"mode32 four decimals", 'M', true, Tcp({0x00, 0x00, 0x30, 0x39, 0x00, 0x04}),
                   "1.2345"},
        DecodeCase{"mode32 R2 above 4: divisor 1", 'M', false,
                   Rtu({0x00, 0x00, 0x04, 0xD2, 0x00, 0x07}), "1234"},
        DecodeCase{"mode32 keeps a float's digits", 'M', false,
                   Rtu({0x01, 0x00, 0x00, 0x01, 0x00, 0x00}), "16777216"},
        DecodeCase{"mode32 float rounding", 'M', false, Rtu({0x7F, 0xFF, 0xFF, 0xFF, 0x00, 0x00}),
                   "2147483648"},
        DecodeCase{"mode32 high word first", 'M', false, Rtu({0x00, 0x02, 0x00, 0x00, 0x00, 0x01}),
                   "13107.2"},
        DecodeCase{"characters swapped", 'c', false, Rtu({'B', 'A', 'D', 'C'}), "ABCD"},
        DecodeCase{"characters zero to blank", 'c', false, Rtu({'B', 'A', 0, 'C'}), "ABC "},
        DecodeCase{"characters odd count", 'c', false, Rtu({'y', 'x', 'z'}), "xy z"},
        DecodeCase{"characters in tcp", 'c', true, Tcp({'E', 'R', 'O', 'M'}), "REMO"},
        DecodeCase{"characters percent kept", 'c', false, Rtu({'%', 's', '%', 'n'}), "s%n%"},
        DecodeCase{"characters none", 'c', false, Rtu({}), ""},
        DecodeCase{"unlisted letter", 'x', false, Rtu({0, 1}), ""},
        DecodeCase{"no letter", '\0', false, Rtu({0, 1}), ""},
        DecodeCase{"lower-case m is unlisted", 'm', false, Rtu({0, 1, 0, 2, 0, 0}), ""},
        DecodeCase{"missing bytes read as zero", 'l', false, Bytes{0x0A, 0x03, 0x04, 0x00, 0x05},
                   "5"}),
    [](const auto& info) { return CaseName(info.param.what); });

TEST(ValueDecoding, CharactersTakeAtMostThirty) {
    Bytes data;
    for (int i = 0; i < 40; ++i)
        data.push_back(static_cast<uint8_t>('a' + i % 26));
    std::string text = tool::DecodeValue(Rtu(data), false, 'c');
    EXPECT_EQ(text.size(), 30u);
    EXPECT_EQ(text.substr(0, 4), "badc");
}

TEST(ValueDecoding, ANotFiniteDoubleStillGivesAText) {
    EXPECT_EQ(tool::DecodeValue(Rtu({0, 0, 0, 0, 0, 0, 0x7F, 0xF0}), false, 'd'), "inf");
    // The largest double prints all its 309 digits without overrunning anything.
    std::string huge =
        tool::DecodeValue(Rtu({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xEF}), false, 'd');
    EXPECT_EQ(huge.size(), 309u + 7u);
}

// The monitor shows every byte that came for a reply and no other, whatever its byte
// count announces.
struct RenderCase {
    const char* what;
    Bytes reply;
};

class ReplyRendering : public ::testing::TestWithParam<RenderCase> {};

TEST_P(ReplyRendering, ShowsExactlyTheBytesThatCame) {
    const RenderCase& c = GetParam();
    std::string expected;
    for (uint8_t b : c.reply) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "_%02X", b);
        expected += digits;
    }
    EXPECT_EQ(tool::RenderReplyHex(c.reply), expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyRendering,
    ::testing::Values(RenderCase{"rtu double: header, 8 data, crc",
                                 Rtu({0, 0, 0, 0, 0, 0, 0x3F, 0xF0})},
                      RenderCase{"tcp: header and 8 data", Tcp({1, 2, 3, 4, 5, 6, 7, 8})},
                      RenderCase{"a count of 250 with 3 bytes come", Bytes{0x0A, 0x03, 250}},
                      RenderCase{"exception reply: code in the count's place",
                                 Bytes{0x0A, 0x83, 0x02, 0xC0, 0xF1}},
                      RenderCase{"300 bytes of noise", Bytes(300, 0xFF)},
                      RenderCase{"empty buffer", Bytes{}}),
    [](const auto& info) { return CaseName(info.param.what); });

TEST(ReplyRendering, StartsWithTheBytesAsTwoUppercaseDigits) {
    EXPECT_EQ(tool::RenderReplyHex(Bytes{0x0A, 0x03, 0x00, 0xAB, 0xCD}), "_0A_03_00_AB_CD");
}

// Completion through the tool's own requests: a reply is decoded only in the place of
// the request it answers.
class Completion : public FormFixture {
  protected:
    void SetUp() override {
        WriteGlyphs();
        WriteFile("Table1.c", "\n>100 i 1<><>\n>200 x 1<><>\n>300 i 1<><>\n>400 l 2<><>\n");
        form->Button40.Click();
        form->Button45.Click(); // RTU
        serial->SetOpen(true);
    }
    // A double click on the row: its request goes out 100 ms later.
    void RequestRow(int row) {
        form->StringGrid3.SetRow(row);
        form->StringGrid3.DblClick();
        Advance(100);
        serial->TakeWritten();
    }
    void RequestManual(const char* type) {
        form->ComboBox4.TypeText(type);
        form->Button47.Click();
        Advance(100);
        lastRequest = serial->TakeWritten();
    }
    std::string lastRequest;
};

TEST_F(Completion, GridPollingPutsTheValueInColumnTwoOfItsRowAndEmptiesTheBuffer) {
    RequestRow(4);
    serial->Deliver(RtuReply(0x0A, {0, 1, 0, 2}));
    Advance(250);
    EXPECT_EQ(form->StringGrid3.Cell(2, 4), "131073");
    EXPECT_EQ(form->ValueType, static_cast<uint32_t>('l'));
    EXPECT_EQ(form->Memo2.Text(), "_0A_03_04_00_01_00_02_90_F2");
    EXPECT_EQ(form->Memo2.SelStart(), form->Memo2.Text().size());
    EXPECT_EQ(form->RxCount, 0);
    for (uint8_t b : form->RxBuffer)
        ASSERT_EQ(b, 0);
    EXPECT_FALSE(form->Timer1.Enabled());
}

TEST_F(Completion, ManualReadingGoesToEdit20WithTheTypeOfComboBox4) {
    RequestManual("hex");
    serial->Deliver(RtuReply(0x0A, {0x12, 0x34}));
    Advance(250);
    EXPECT_EQ(form->Edit20.Text(), "0x1234");
    EXPECT_EQ(form->StringGrid3.Cell(2, 0), "Valore letto");
}

TEST_F(Completion, AnUnlistedGridTypeBlanksTheCell) {
    RequestRow(2);
    form->StringGrid3.SetCell(2, 2, "old");
    serial->Deliver(RtuReply(0x0A, {0, 1}));
    Advance(250);
    EXPECT_EQ(form->StringGrid3.Cell(2, 2), "");
    EXPECT_EQ(form->ShownOutcome(2), tool::TOutcome{});
}

TEST_F(Completion, AReplyToNoRequestOnlyReachesTheMonitor) {
    RequestRow(1);
    serial->Deliver(RtuReply(0x0A, {0, 3}));
    Advance(250);
    form->Memo2.Clear();
    serial->Deliver(RtuReply(0x0A, {0, 7}));
    Advance(250);
    EXPECT_EQ(form->StringGrid3.Cell(2, 1), "3");
    EXPECT_EQ(form->StringGrid3.Cell(2, 0), "Valore letto");
    EXPECT_EQ(form->Edit20.Text(), "");
    EXPECT_EQ(form->Memo2.Text(), "_0A_03_02_00_07_5C_47");
    EXPECT_EQ(form->Counters.Requests, 1u);
    EXPECT_EQ(form->Counters.Good, 1u);
}

TEST_F(Completion, ModbusTcpRendersTheWholeReply) {
    form->Button35.Click();
    RequestManual("long int");
    ASSERT_EQ(lastRequest.size(), 12u);
    uint16_t transaction = static_cast<uint16_t>(static_cast<uint8_t>(lastRequest[0]) << 8 |
                                                 static_cast<uint8_t>(lastRequest[1]));
    serial->Deliver(TcpReply(transaction, 0x0A, {0x00, 0x2A, 0x00, 0x2B}));
    Advance(250);
    EXPECT_EQ(form->Edit20.Text(), "2818090");
    EXPECT_EQ(form->Memo2.Text().substr(6), "_00_00_00_07_0A_03_04_00_2A_00_2B");
}

TEST_F(Completion, TextRepliesAreAppendedAsTheyCame) {
    form->HexDisplay = 0;
    form->Memo2.SetText("<CMD_Readcfg");
    serial->Deliver("config_end>\r\n");
    Advance(250);
    EXPECT_EQ(form->Memo2.Text(), "<CMD_Readcfgconfig_end>\r\n");
    EXPECT_EQ(form->RxBuffer[0], 0);
}

TEST_F(Completion, RunsOnTimer1QuarterSecondAfterTheFirstBytesAndALateTailAnswersNothing) {
    RequestManual("int");
    std::string reply = RtuReply(0x0A, {0x00, 0x05});
    serial->Deliver(reply.substr(0, 3));
    Pump();
    Advance(200);
    serial->Deliver(reply.substr(3));
    Advance(49);
    EXPECT_EQ(form->Edit20.Text(), "");
    Advance(1);
    EXPECT_EQ(form->Edit20.Text(), "5");
    // Bytes after the completion begin a reply of their own, which no request awaits.
    serial->Deliver(RtuReply(0x0A, {0x00, 0x09}));
    Advance(250);
    EXPECT_EQ(form->Edit20.Text(), "5");
    EXPECT_EQ(form->Memo2.Text(), "_0A_03_02_00_05_DD_86_0A_03_02_00_09_DD_83");
}

} // namespace
