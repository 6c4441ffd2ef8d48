#include "port/Telnet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace port;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes r;
    for (const Bytes& p : parts)
        r.insert(r.end(), p.begin(), p.end());
    return r;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Runs the whole input through the filter with ample room.
Bytes Receive(TTelnetFilter& f, const Bytes& in) {
    Bytes out(in.size() + 1);
    auto r = f.Filter(in, out);
    EXPECT_EQ(r.Consumed, in.size());
    out.resize(r.Delivered);
    return out;
}

Bytes Escape(const Bytes& in, TTelnetOpt binary) {
    Bytes out(in.size() * 2);
    auto r = TelnetEscape(in, binary, out);
    EXPECT_EQ(r.Consumed, in.size());
    out.resize(r.Stored);
    return out;
}

} // namespace

TEST(TelnetSend, DoublesIacAndPadsALoneCrWhileBinaryIsOff) {
    EXPECT_EQ(Escape({255, 1, 13, 65}, tnoFalse), (Bytes{255, 255, 1, 13, 0, 65}));
    EXPECT_EQ(Escape({13, 10, 13}, tnoFalse),
              (Bytes{13, 10, 13, 0})); // CR LF kept; a final CR is alone
    EXPECT_EQ(Escape({255, 1, 13, 65}, tnoTrue), (Bytes{255, 255, 1, 13, 65}));
}

TEST(TelnetSend, StoresAnEscapedPairOnlyWhenBothBytesFit) {
    Bytes in{65, 255, 66};
    Bytes out(2);
    auto r = TelnetEscape(in, tnoFalse, out);
    EXPECT_EQ(r.Consumed, 1u);
    EXPECT_EQ(r.Stored, 1u);
    Bytes out3(3);
    r = TelnetEscape(in, tnoFalse, out3);
    EXPECT_EQ(r.Consumed, 2u);
    EXPECT_EQ(out3, (Bytes{65, 255, 255}));
}

TEST(TelnetReceive, DeliversDataWithoutCommandsAndCrNulAsCr) {
    TTelnetFilter f;
    EXPECT_EQ(Receive(f, {255, 255, 13, 0, 65}), (Bytes{255, 13, 65}));
    EXPECT_EQ(Receive(f, {13, 10, 13, 66}), (Bytes{13, 10, 13, 66}));
    EXPECT_EQ(Receive(f, {255, 241, 67}), (Bytes{67})); // IAC NOP is removed
    EXPECT_FALSE(f.HasReplies());
}

TEST(TelnetReceive, AnswersTheTerminalTypeQuestion) {
    TTelnetFilter f;
    EXPECT_TRUE(Receive(f, {255, 253, 24}).empty());
    EXPECT_EQ(f.TakeReplies(), (Bytes{255, 251, 24}));
    EXPECT_TRUE(Receive(f, {255, 250, 24, 1, 255, 240}).empty());
    EXPECT_EQ(f.TakeReplies(), Cat({{255, 250, 24, 0}, Text("vt100"), {255, 240}}));
}

struct CommandRow {
    uint8_t Command, Option;
    Bytes Reply;
    TTelnetOpt Binary; // BinaryOpt afterwards, starting from the state given by StartBinary
    TTelnetOpt StartBinary;
};

void PrintTo(const CommandRow& row, std::ostream* os) {
    *os << "IAC " << int(row.Command) << " " << int(row.Option);
}

class TelnetCommands : public testing::TestWithParam<CommandRow> {};

TEST_P(TelnetCommands, ReplyAndBinaryState) {
    const CommandRow& row = GetParam();
    TTelnetFilter f;
    f.BinaryOpt = row.StartBinary;
    Receive(f, {255, row.Command, row.Option});
    EXPECT_EQ(f.TakeReplies(), row.Reply);
    EXPECT_EQ(f.BinaryOpt, row.Binary);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TelnetCommands,
    testing::Values(CommandRow{251, 0, {255, 253, 0}, tnoTrue, tnoFalse},    // WILL BINARY
                    CommandRow{251, 1, {255, 253, 1}, tnoFalse, tnoFalse},   // WILL ECHO
                    CommandRow{251, 3, {255, 253, 3}, tnoFalse, tnoFalse},   // WILL SGA
                    CommandRow{251, 5, {255, 254, 5}, tnoFalse, tnoFalse},   // WILL other
                    CommandRow{252, 0, {255, 254, 0}, tnoFalse, tnoTrue},    // WONT BINARY
                    CommandRow{252, 9, {255, 254, 9}, tnoTrue, tnoTrue},     // WONT other
                    CommandRow{253, 0, {255, 251, 0}, tnoTrue, tnoFalse},    // DO BINARY
                    CommandRow{253, 3, {255, 252, 3}, tnoFalse, tnoFalse},   // DO SGA: never on
                    CommandRow{253, 24, {255, 251, 24}, tnoFalse, tnoFalse}, // DO TERMINAL-TYPE
                    CommandRow{253, 1, {255, 252, 1}, tnoFalse, tnoFalse},   // DO ECHO
                    CommandRow{253, 32, {255, 252, 32}, tnoFalse, tnoFalse}, // DO TERMINAL-SPEED
                    CommandRow{254, 0, {255, 252, 0}, tnoFalse, tnoTrue},    // DONT BINARY
                    CommandRow{254, 7, {255, 252, 7}, tnoTrue, tnoTrue}));   // DONT other

TEST(TelnetReceive, BinaryModeLetsCrNulThrough) {
    TTelnetFilter f;
    EXPECT_EQ(Receive(f, {255, 251, 0, 13, 0, 65}), (Bytes{13, 0, 65}));
    EXPECT_EQ(f.TakeReplies(), (Bytes{255, 253, 0}));
}

TEST(TelnetReceive, AnySplitOfTheStreamGivesTheSameResult) {
    const Bytes stream = Cat({Text("AB"),
                              {13, 0},
                              {255, 255},
                              {255, 253, 24},
                              Text("C"),
                              {255, 250, 24, 1, 255, 255, 255, 240},
                              {13},
                              Text("D"),
                              {255, 241},
                              {255, 251, 0},
                              {13, 0},
                              Text("E")});
    TTelnetFilter whole;
    const Bytes expected = Receive(whole, stream);
    const Bytes replies = whole.TakeReplies();
    ASSERT_EQ(expected,
              Cat({Text("AB"), {13, 255}, Text("C"), {13}, Text("D"), {13, 0}, Text("E")}));
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        TTelnetFilter f;
        Bytes got = Receive(f, Bytes(stream.begin(), stream.begin() + cut));
        Bytes rest = Receive(f, Bytes(stream.begin() + cut, stream.end()));
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_EQ(got, expected) << "cut at " << cut;
        EXPECT_EQ(f.TakeReplies(), replies) << "cut at " << cut;
    }
}

TEST(TelnetReceive, StopsWhenTheOutputIsFullAndResumesWithoutLoss) {
    TTelnetFilter f;
    const Bytes in{65, 255, 255, 13, 0, 66};
    Bytes got;
    size_t at = 0;
    for (int step = 0; step < 20 && at < in.size(); ++step) {
        Bytes out(1);
        auto r = f.Filter(Bytes(in.begin() + at, in.end()), out);
        at += r.Consumed;
        got.insert(got.end(), out.begin(), out.begin() + r.Delivered);
    }
    EXPECT_EQ(got, (Bytes{65, 255, 13, 66}));
}

TEST(TelnetReceive, ASubnegotiationLongerThanAnyRingDoesNotStallTheStream) {
    TTelnetFilter f;
    Bytes sb = Cat({{255, 250, 42}, Bytes(20000, 'x'), {255, 240}});
    EXPECT_TRUE(Receive(f, sb).empty());
    EXPECT_EQ(Receive(f, Text("data")), Text("data"));
}

TEST(TelnetReceive, LogsReceivedCommandsRepliesAndOthersWhenLoggingIsOn) {
    TTelnetFilter f;
    f.Logging = true;
    Receive(f, {255, 253, 24, 255, 241, 255, 250, 24, 1, 255, 240});
    using K = TTelnetLogKind;
    EXPECT_EQ(f.TakeLog(), (std::vector<TTelnetLogEntry>{
                               {K::RDo, 24}, {K::SWill, 24}, {K::Command, 241}, {K::STerm, 0}}));
}
