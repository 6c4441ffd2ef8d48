// Readings you can trust: each reply judged against the request it answers and
// shown in that request's place, bad outcomes as texts, missing replies as such.
#include "CaseName.h"
#include "CommaLocale.h"
#include "FormFixture.h"
#include "ModbusReplies.h"
#include "tool/ReplyDecoding.h"

#include <gtest/gtest.h>

#include <functional>

using namespace fakes;
using namespace winsys;
using tool::TOutcome;
using tool::TOutcomeKind;

namespace {

uint16_t TransactionOf(const std::string& request) {
    return static_cast<uint16_t>(static_cast<uint8_t>(request[0]) << 8 |
                                 static_cast<uint8_t>(request[1]));
}

std::string FlipLastByte(std::string bytes) {
    bytes.back() = static_cast<char>(bytes.back() ^ 0x01);
    return bytes;
}

class Readings : public FormFixture {
  protected:
    void SetUp() override {
        WriteGlyphs();
        WriteFile("Table1.c", "Readings\n"
                              ">454 d 4<1.8.0><energy>\n"
                              ">462 i 1<C.1.0><serial>\n"
                              ">470 l 2<><>\n");
        form->Button40.Click();
        form->Button45.Click(); // RTU
        serial->SetOpen(true);
        form->ReadingObservers.push_back(
            [this](const tool::TReading& reading) { readings.push_back(reading); });
    }
    // A double click on the row; returns the request that went out 100 ms later.
    std::string RequestRow(int row) {
        form->StringGrid3.SetRow(row);
        form->StringGrid3.DblClick();
        Advance(100);
        return serial->TakeWritten();
    }
    // "Poll" on the monitor page for an int at 454; returns the request.
    std::string RequestManual() {
        form->ComboBox4.TypeText("int");
        form->Button47.Click();
        Advance(100);
        return serial->TakeWritten();
    }
    std::string Cell(int row) { return form->StringGrid3.Cell(2, row); }

    std::vector<tool::TReading> readings;
};

// ---- Every outcome, against a grid row and against Edit20 ----

struct ReplyCase {
    const char* what;
    bool modbusTcp;
    // The peer's reply to the request it was sent.
    std::function<std::string(const std::string& request)> reply;
    const char* shown;        // 250 ms after the reply's first byte
    const char* afterASecond; // 1 s after the request
};

const ReplyCase ReplyCases[] = {
    {"good", false,
     [](auto&) {
         return RtuReply(0x0A, {0x00, 0x2A});
     },
     "42", "42"},
    {"exception 01", false, [](auto&) { return RtuException(0x0A, 0x01); },
     "exception 01: illegal function", "exception 01: illegal function"},
    {"exception 02", false, [](auto&) { return RtuException(0x0A, 0x02); },
     "exception 02: illegal data address", "exception 02: illegal data address"},
    {"exception 03", false, [](auto&) { return RtuException(0x0A, 0x03); },
     "exception 03: illegal data value", "exception 03: illegal data value"},
    {"exception 04", false, [](auto&) { return RtuException(0x0A, 0x04); },
     "exception 04: server device failure", "exception 04: server device failure"},
    {"exception 0B", false, [](auto&) { return RtuException(0x0A, 0x0B); },
     "exception 0B: gateway target device failed to respond",
     "exception 0B: gateway target device failed to respond"},
    {"exception without a name", false, [](auto&) { return RtuException(0x0A, 0x2C); },
     "exception 2C", "exception 2C"},
    {"bad crc", false,
     [](auto&) {
         return FlipLastByte(RtuReply(0x0A, {0x00, 0x2A}));
     },
     "CRC error", "CRC error"},
    {"exception with a bad crc", false, [](auto&) { return FlipLastByte(RtuException(0x0A, 2)); },
     "CRC error", "CRC error"},
    {"wrong slave", false,
     [](auto&) {
         return RtuReply(0x0B, {0x00, 0x2A});
     },
     "wrong slave 0B", "wrong slave 0B"},
    {"wrong function", false,
     [](auto&) {
         return WithCrc({0x0A, 0x04, 0x02, 0x00, 0x2A});
     },
     "wrong function 04", "wrong function 04"},
    {"wrong byte count", false,
     [](auto&) {
         return RtuReply(0x0A, {0x00, 0x2A, 0x00, 0x01});
     },
     "bad length", "bad length"},
    {"cut short", false,
     [](auto&) {
         return RtuReply(0x0A, {0x00, 0x2A}).substr(0, 4);
     },
     "bad length", "bad length"},
    {"tcp good", true,
     [](auto& q) {
         return TcpReply(TransactionOf(q), 0x0A, {0x00, 0x2A});
     },
     "42", "42"},
    {"tcp exception 02", true,
     [](auto& q) {
         return TcpFrame(TransactionOf(q), {0x0A, 0x83, 0x02});
     },
     "exception 02: illegal data address", "exception 02: illegal data address"},
    {"tcp wrong unit", true,
     [](auto& q) {
         return TcpReply(TransactionOf(q), 0x0B, {0, 0x2A});
     },
     "wrong slave 0B", "wrong slave 0B"},
    {"tcp length not matching", true,
     [](auto& q) {
         return TcpFrame(TransactionOf(q), {0x0A, 0x03, 0x02, 0x00, 0x2A, 0x00});
     },
     "bad length", "bad length"},
    {"tcp cut short", true,
     [](auto& q) {
         return TcpReply(TransactionOf(q), 0x0A, {0x00, 0x2A}).substr(0, 9);
     },
     "bad length", "bad length"},
    {"tcp another transaction", true,
     [](auto& q) {
         return TcpReply(static_cast<uint16_t>(TransactionOf(q) + 1), 0x0A, {0, 1});
     },
     "", "no reply"},
    {"tcp another protocol", true,
     [](auto& q) {
         return TcpFrame(TransactionOf(q), {0x0A, 0x03, 0x02, 0x00, 0x2A}, 1);
     },
     "", "no reply"},
};

class ReplyOutcomes : public Readings,
                      public ::testing::WithParamInterface<std::tuple<ReplyCase, bool>> {};

TEST_P(ReplyOutcomes, ShowInTheRequestsPlace) {
    const auto& [c, manual] = GetParam();
    if (c.modbusTcp) form->Button35.Click();
    auto other = [&] { return manual ? Cell(2) : form->Edit20.Text(); };
    std::string otherBefore = other();
    std::string request = manual ? RequestManual() : RequestRow(2);
    auto shown = [&] { return manual ? form->Edit20.Text() : Cell(2); };
    auto outcome = [&] { return manual ? form->ManualOutcome() : form->ShownOutcome(2); };
    serial->Deliver(c.reply(request));
    Advance(250);
    EXPECT_EQ(shown(), c.shown);
    Advance(650);
    EXPECT_EQ(shown(), c.shown);
    Advance(100);
    EXPECT_EQ(shown(), c.afterASecond);
    bool good = std::string(c.afterASecond) == "42";
    EXPECT_EQ(outcome().IsGood(), good);
    EXPECT_EQ(tool::OutcomeText(outcome()), good ? "good" : c.afterASecond);
    // The value appears nowhere else.
    EXPECT_EQ(other(), otherBefore);
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].ValueText, c.afterASecond);
    EXPECT_EQ(form->Counters.Requests, 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplyOutcomes,
                         ::testing::Combine(::testing::ValuesIn(ReplyCases), ::testing::Bool()),
                         [](const auto& info) {
                             return CaseName(std::get<0>(info.param).what) +
                                    (std::get<1>(info.param) ? "_Edit20" : "_Grid");
                         });

// ---- Which request a reply answers ----

TEST_F(Readings, ALateReplyLandsInItsOwnRowAndMeetsTheNextOneThere) {
    form->BitBtn2.Click(); // rows 1, 2, 3 at 700, 1400, 2100
    Advance(700);
    serial->TakeWritten();
    Advance(600); // row 1's reply, 600 ms late: completed after the next tick
    serial->Deliver(RtuReply(0x0A, {0, 0, 0, 0, 0, 0, 0x3F, 0xF8}));
    Advance(100);
    EXPECT_EQ(form->PollRow, 2u);
    Advance(50); // row 2's reply, completed together with row 1's
    serial->Deliver(RtuReply(0x0A, {0x00, 0x07}));
    Advance(100);
    EXPECT_EQ(Cell(1), "1.500000");
    EXPECT_EQ(Cell(2), "7");
    EXPECT_EQ(form->Memo2.Text(), "_0A_03_08_00_00_00_00_00_00_3F_F8_A0_81_0A_03_02_00_07_5C_47");
    EXPECT_EQ(form->Counters.Good, 2u);
}

// Row 1's reply comes late; row 2's first bytes come 100 ms after its request, either
// after the end of row 1's reply or in the same receive event as that end.
struct StillArriving {
    const char* what;
    size_t row1BytesBefore; // of row 1's 13, delivered in an event of their own
};

void PrintTo(const StillArriving& c, std::ostream* os) {
    *os << c.what;
}

class ReplyStillArriving : public Readings, public ::testing::WithParamInterface<StillArriving> {};

TEST_P(ReplyStillArriving, AtCompletionGetsItsOwn) {
    const StillArriving& c = GetParam();
    const std::string row1 = RtuReply(0x0A, {0, 0, 0, 0, 0, 0, 0x3F, 0xF8});
    const std::string row2 = RtuReply(0x0A, {0x00, 0x07});
    form->BitBtn2.Click();
    Advance(1300);
    serial->Deliver(row1.substr(0, c.row1BytesBefore));
    Advance(200); // the next tick at 1400 sent row 2's request
    serial->Deliver(row1.substr(c.row1BytesBefore) + row2.substr(0, 3));
    Advance(50); // row 1's completion: row 2's first bytes are 50 ms old
    EXPECT_EQ(Cell(1), "1.500000");
    EXPECT_EQ(Cell(2), "");
    serial->Deliver(row2.substr(3));
    Advance(250);
    EXPECT_EQ(Cell(2), "7");
    EXPECT_EQ(form->Counters.BadReplies, 0u);
    EXPECT_EQ(form->Memo2.Text(), "_0A_03_08_00_00_00_00_00_00_3F_F8_A0_81_0A_03_02_00_07_5C_47");
}

INSTANTIATE_TEST_SUITE_P(Events, ReplyStillArriving,
                         ::testing::Values(StillArriving{"after the end of the last", 13},
                                           StillArriving{"with the end of the last", 5}));

TEST_F(Readings, TextShownInTheMonitorIsNoReplyToAWaitingRequest) {
    RequestManual();
    form->HexDisplay = 0; // as a configuration read leaves it
    serial->Deliver("VER 1.9\r\n");
    Advance(999);
    EXPECT_EQ(form->Edit20.Text(), "");
    Advance(1);
    EXPECT_EQ(form->Edit20.Text(), "no reply");
}

TEST_F(Readings, ManualPollDuringCyclingKeepsBothValuesApart) {
    form->BitBtn2.Click();
    Advance(700); // row 1 (454, double) requested
    form->Button47.Click();
    Advance(50);
    serial->Deliver(RtuReply(0x0A, {0, 0, 0, 0, 0, 0, 0x3F, 0xF8})); // the table's reply
    Advance(50);                                                     // the manual request
    EXPECT_FALSE(form->Timer6.Enabled());
    serial->Deliver(RtuReply(0x0A, {0, 0, 0, 0, 0, 0, 0x40, 0x59}));
    Advance(200);
    EXPECT_EQ(Cell(1), "1.500000");
    EXPECT_EQ(form->Edit20.Text(), "100.000000");
}

TEST_F(Readings, ModbusTcpTiesRepliesByTransactionInAnyOrder) {
    form->Button35.Click();
    form->BitBtn2.Click();
    Advance(700);
    std::string first = serial->TakeWritten();
    Advance(650); // a stale reply of an earlier exchange begins a completion
    serial->Deliver(TcpReply(0x7777, 0x0A, {0x00, 0x01}));
    Advance(50);
    std::string second = serial->TakeWritten();
    Advance(50); // both answered, the later request first
    serial->Deliver(TcpReply(TransactionOf(second), 0x0A, {0x00, 0x07}) +
                    TcpReply(TransactionOf(first), 0x0A, {0, 0, 0, 0, 0, 0, 0x3F, 0xF8}));
    Advance(150);
    EXPECT_EQ(Cell(1), "1.500000");
    EXPECT_EQ(Cell(2), "7");
}

// ---- Missing replies ----

TEST_F(Readings, NoReplyByTheNextRequestOrWithinASecond) {
    form->BitBtn2.Click();
    Advance(700);
    EXPECT_EQ(Cell(1), "");
    Advance(700); // the next request: row 1 had no byte of a reply
    EXPECT_EQ(Cell(1), "no reply");
    EXPECT_EQ(form->ShownOutcome(1).Kind, TOutcomeKind::NoReply);
    EXPECT_EQ(Cell(2), "");
    form->Button42.Click();
    Advance(999);
    EXPECT_EQ(Cell(2), "");
    Advance(1);
    EXPECT_EQ(Cell(2), "no reply");
    EXPECT_EQ(form->Counters.NoReplies, 2u);
}

TEST_F(Readings, AManualReadWithoutReplyShowsNoReplyAfterASecond) {
    RequestManual();
    Advance(999);
    EXPECT_EQ(form->Edit20.Text(), "");
    Advance(1);
    EXPECT_EQ(form->Edit20.Text(), "no reply");
    // Its reply coming later answers nothing.
    serial->Deliver(RtuReply(0x0A, {0x00, 0x2A}));
    Advance(250);
    EXPECT_EQ(form->Edit20.Text(), "no reply");
}

TEST_F(Readings, ARepeatedRowKeepsItsNewRequestsBlankNotTheOldMissingReply) {
    RequestRow(2);
    form->BitBtn3.Click(); // Single Reg repeats row 2 every 700 ms
    Advance(700);
    EXPECT_EQ(Cell(2), ""); // the new request for the row waits
    EXPECT_EQ(form->Counters.NoReplies, 1u);
}

// ---- The record, the counters, the observers ----

TEST_F(Readings, TheRecordSaysWhatWasAskedAndWhatCame) {
    std::string request = RequestRow(1);
    std::string reply = RtuReply(0x0A, {0, 0, 0, 0, 0, 0, 0x3F, 0xF8});
    serial->Deliver(reply);
    Advance(250);
    ASSERT_EQ(readings.size(), 1u);
    const tool::TReading& r = readings[0];
    EXPECT_EQ(r.Target, tool::TReadingTarget::GridRow);
    EXPECT_EQ(r.Row, 1);
    EXPECT_EQ(r.Address, 454);
    EXPECT_EQ(r.Type, 'd');
    EXPECT_EQ(r.Count, 4);
    EXPECT_EQ(r.Obis, "1.8.0");
    EXPECT_EQ(r.Note, "energy");
    EXPECT_EQ(r.ValueText, "1.500000");
    EXPECT_EQ(r.Outcome, TOutcome{});
    EXPECT_EQ(std::string(r.Request.begin(), r.Request.end()), request);
    EXPECT_EQ(std::string(r.Reply.begin(), r.Reply.end()), reply);
    EXPECT_EQ(r.CompletedMs, clock.NowMs());

    RequestManual();
    Advance(1000);
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(readings[1].Target, tool::TReadingTarget::ManualRead);
    EXPECT_EQ(readings[1].Address, 454);
    EXPECT_EQ(readings[1].Type, 'i');
    EXPECT_EQ(readings[1].Count, 1);
    EXPECT_EQ(readings[1].Outcome.Kind, TOutcomeKind::NoReply);
    EXPECT_TRUE(readings[1].Reply.empty());
}

TEST_F(Readings, CountersCountEachOutcomeAndRestartWhenAPortOpens) {
    int changes = 0;
    form->CountersObservers.push_back([&] { ++changes; });
    form->ComboBox1.AddItem("COM3");
    form->ComboBox1.SetItemIndex(0);
    const std::string replies[] = {RtuReply(0x0A, {0x00, 0x01}), RtuException(0x0A, 0x02),
                                   FlipLastByte(RtuReply(0x0A, {0x00, 0x01})), ""};
    for (const std::string& reply : replies) {
        RequestRow(2);
        if (!reply.empty()) serial->Deliver(reply);
        Advance(1000);
    }
    EXPECT_EQ(form->Counters, (tool::TExchangeCounters{4, 1, 1, 1, 1}));
    EXPECT_EQ(tool::CountersText(form->Counters), "Sent 4  Good 1  Exc 1  Bad 1  No reply 1");
    EXPECT_EQ(tool::CountersJson(form->Counters),
              "{\"Requests\":4,\"Good\":1,\"Exceptions\":1,\"BadReplies\":1,\"NoReplies\":1}");
    EXPECT_EQ(changes, 8);
    serial->SetOpen(false);
    form->BitBtn4.Click(); // opens the port again
    ASSERT_TRUE(serial->GetOpen());
    EXPECT_EQ(form->Counters, tool::TExchangeCounters{});
}

TEST_F(Readings, NoPortOpenSendsNothingAndCountsNothing) {
    serial->SetOpen(false);
    RequestRow(2);
    Advance(2000);
    EXPECT_EQ(Cell(2), "");
    EXPECT_EQ(form->Counters, tool::TExchangeCounters{});
}

// ---- An error that repeats ----

TEST_F(Readings, AVanishedDeviceShowsOneErrorWhilePollingGoesOnCounting) {
    form->BitBtn2.Click();
    Advance(700);
    serial->FailWrites(-3002, "The device has gone away");
    Advance(35000); // 50 ticks, 12 of them at the table's end sending nothing
    EXPECT_EQ(Errors(), std::vector<std::string>{"The device has gone away"});
    EXPECT_EQ(application.Errors().Repeats(), 37);
    EXPECT_TRUE(form->Timer6.Enabled());
    EXPECT_EQ(form->Counters.Requests, 39u);
    EXPECT_EQ(form->Counters.NoReplies, 38u);
    EXPECT_EQ(Cell(1), "no reply");
    application.Guard([&] { form->Button42.Click(); }); // one click stops it
    EXPECT_FALSE(form->Timer6.Enabled());

    // After a success the same error is shown again; so it is after an operator's action.
    serial->FailWrites(0, "");
    application.Guard([&] { form->BitBtn2.Click(); });
    Advance(700);
    serial->FailWrites(-3002, "The device has gone away");
    Advance(700);
    EXPECT_EQ(Errors().size(), 2u);
    application.Guard([&] { form->BitBtn2.Click(); });
    Advance(700);
    EXPECT_EQ(Errors().size(), 3u);
}

// ---- Numbers with a decimal point under a comma locale ----

TEST_F(Readings, NumbersKeepTheirDecimalPointUnderACommaLocale) {
    ScopedCommaLocale comma;
    ASSERT_TRUE(comma.Active()) << comma.Error();
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5"); // the locale is in force
    RequestRow(1);
    serial->Deliver(RtuReply(0x0A, {0, 0, 0, 0, 0, 0, 0x3F, 0xF8}));
    Advance(250);
    EXPECT_EQ(Cell(1), "1.500000");
    // MODE_32: 12345 / 10^3
    auto mode32 = tool::DecodeValue(
        std::vector<uint8_t>{0x0A, 0x03, 0x06, 0x00, 0x00, 0x30, 0x39, 0x00, 0x03}, false, 'M');
    EXPECT_EQ(mode32, "12.345");
}

} // namespace
