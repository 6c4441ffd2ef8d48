// The shared line: cutting the stream into items, the module's modes and pins,
// the configuration protocol and the meter.
#include "Line.h"
#include "Crc16.h"
#include "FieldModule.h"
#include "LineSplitter.h"
#include "Meter.h"

#include <gtest/gtest.h>

namespace {

using sim::Bytes;
using sim::ItemKind;

Bytes Rtu(Bytes body) {
    std::uint16_t crc = sim::Crc16(body);
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return body;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes Read454 = Rtu({0x0A, 0x03, 0x01, 0xC5, 0x00, 0x04});
const std::string ToolWrite =
    "<config_begin\r\nModAdd:11\r\nMod485:0\r\nCont485:1\r\nContTime:2\r\n"
    "Spare:0\r\nSerie_1:12345678\r\nSerie_2:87654321\r\nBaudrate:5\r\n"
    "DDBBGG:0\r\nVar1:A\r\nVar2:B\r\nVar3:C\r\nconfig_end>\r\n";

std::vector<ItemKind> Kinds(sim::LineSplitter& s, int address = 10) {
    std::vector<ItemKind> out;
    while (auto item = s.Next(address))
        out.push_back(item->kind);
    return out;
}

TEST(LineSplitter, CutsEveryKindOfItem) {
    struct Case {
        Bytes stream;
        std::vector<ItemKind> kinds;
    } cases[] = {
        {Read454, {ItemKind::Rtu}},
        {Cat({Read454, Read454}), {ItemKind::Rtu, ItemKind::Rtu}},
        {sim::ToBytes("<CMD_ReadRelease"), {ItemKind::ReadRelease}},
        {sim::ToBytes("<CMD_Readcfg"), {ItemKind::ReadConfig}},
        {sim::ToBytes("<CMD_Readcfg\r\n<CMD_ReadRelease"),
         {ItemKind::ReadConfig, ItemKind::ReadRelease}},
        {sim::ToBytes(ToolWrite), {ItemKind::ConfigWrite}},
        {sim::ToBytes("/?0000!\r\n"), {ItemKind::MeterRequest}},
        {sim::ToBytes("\x06"
                      "050\r\n"),
         {ItemKind::MeterAck}},
        {Cat({sim::ToBytes("<CMD_Readcfg"), Read454, sim::ToBytes("/?!\r\n")}),
         {ItemKind::ReadConfig, ItemKind::Rtu, ItemKind::MeterRequest}},
        // A wrong CRC on a frame of known length is dropped at once; the rest goes on.
        {Cat({Bytes{0x0A, 0x03, 0x01, 0xC5, 0x00, 0x04, 0x54, 0xB4}, Read454}),
         {ItemKind::Junk, ItemKind::Rtu}},
    };
    for (const Case& c : cases) {
        sim::LineSplitter s(30, 1000);
        s.Feed(c.stream, 0);
        EXPECT_EQ(Kinds(s), c.kinds) << sim::QuotedText(c.stream);
        EXPECT_EQ(s.Pending(), 0u) << sim::QuotedText(c.stream);
    }
}

TEST(LineSplitter, ItemsArrivingInPiecesWaitForTheirEnd) {
    struct Case {
        Bytes whole;
        ItemKind kind;
    } cases[] = {{Read454, ItemKind::Rtu},
                 {sim::ToBytes(ToolWrite), ItemKind::ConfigWrite},
                 {sim::ToBytes("/?0000!\r\n"), ItemKind::MeterRequest},
                 {sim::ToBytes("<CMD_ReadRelease\r\n"), ItemKind::ReadRelease}};
    for (const Case& c : cases) {
        sim::LineSplitter s(30, 1000);
        std::vector<sim::LineItem> items;
        for (std::size_t i = 0; i < c.whole.size(); ++i) {
            s.Feed(std::span(&c.whole[i], 1), static_cast<sim::Millis>(i));
            while (auto item = s.Next(10))
                items.push_back(*item);
        }
        // A text command is taken at its closing text; its CR LF is absorbed after.
        ASSERT_EQ(items.size(), 1u) << sim::QuotedText(c.whole);
        EXPECT_EQ(items[0].kind, c.kind);
        EXPECT_EQ(s.Pending(), 0u) << sim::QuotedText(c.whole);
        EXPECT_FALSE(s.Flush(100000));
    }
}

TEST(LineSplitter, LeftoversBecomeJunkOnlyAfterTheQuietGap) {
    sim::LineSplitter s(30, 1000);
    s.Feed(sim::ToBytes("\x7F\x7Fhello"), 100);
    EXPECT_FALSE(s.Next(10));
    EXPECT_EQ(s.Deadline(), 130);
    EXPECT_FALSE(s.Flush(129));
    auto junk = s.Flush(130);
    ASSERT_TRUE(junk);
    EXPECT_EQ(junk->kind, ItemKind::Junk);
    EXPECT_EQ(s.Pending(), 0u);

    // An unfinished text command gets the longer text gap.
    s.Feed(sim::ToBytes("<CMD_Read"), 200);
    EXPECT_EQ(s.Deadline(), 1200);
    EXPECT_FALSE(s.Flush(1199));
    EXPECT_EQ(s.Flush(1200)->kind, ItemKind::Junk);
}

TEST(LineSplitter, FrameOfUnknownLengthIsTakenWholeWhenItsCrcMatches) {
    sim::LineSplitter s(30, 1000);
    Bytes odd = Rtu({0x0A, 0x41, 0x01, 0x02});
    s.Feed(odd, 0);
    EXPECT_FALSE(s.Next(10));
    auto item = s.Flush(30);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->kind, ItemKind::Rtu);
    EXPECT_EQ(item->bytes, odd);
}

TEST(LineSplitter, StreamStartingWithTheModuleAddressIsTriedAsRtuFirst) {
    // Address 47 is '/', the meter's first character.
    Bytes frame = Rtu({47, 0x03, 0x01, 0xC5, 0x00, 0x04});
    sim::LineSplitter s(30, 1000);
    s.Feed(frame, 0);
    EXPECT_EQ(Kinds(s, 47), std::vector{ItemKind::Rtu});
}

class ModuleTest : public ::testing::Test {
  protected:
    sim::Measurements fixed{true};
    sim::RegisterMap map{fixed};
    sim::ModuleConfig config;
    sim::Pins pins;
    sim::FieldModule module{config, map, pins};
    sim::Meter meter{fixed, config, "0000", 3000};
    sim::Line serial{sim::Entrance::Serial, module, meter, config, 30, 1000};
    sim::Line lan{sim::Entrance::Lan, module, meter, config, 30, 1000};

    std::optional<Bytes> Send(sim::Line& line, const Bytes& bytes, sim::Millis now = 0) {
        auto exchanges = line.Feed(bytes, now);
        EXPECT_EQ(exchanges.size(), 1u);
        if (exchanges.empty()) return std::nullopt;
        return exchanges[0].out.reply;
    }
    std::optional<std::string> SendText(sim::Line& line, const std::string& text,
                                        sim::Millis now = 0) {
        auto reply = Send(line, sim::ToBytes(text), now);
        if (!reply) return std::nullopt;
        return sim::ToText(*reply);
    }
};

TEST_F(ModuleTest, PinsDecideWhoAnswersWhere) {
    const Bytes tcp{0, 7, 0, 0, 0, 6, 0x0A, 0x03, 0x01, 0xC5, 0x00, 0x04};
    struct Case {
        const char* pins;
        bool serialModbus, lanModbus, tcpModbus, serialText, lanText;
    } cases[] = {
        {"uua", true, false, false, false, false},  {"uuu", false, true, true, false, false},
        {"uaa", false, false, false, true, false},  {"uau", false, false, false, false, true},
        {"aua", false, false, false, false, false}, {"aau", false, false, false, false, false},
    };
    for (const Case& c : cases) {
        pins = *sim::ParsePins(c.pins);
        EXPECT_EQ(Send(serial, Read454).has_value(), c.serialModbus) << c.pins;
        EXPECT_EQ(Send(lan, Read454).has_value(), c.lanModbus) << c.pins;
        EXPECT_EQ(module.OnTcpFrame(tcp, 0).reply.has_value(), c.tcpModbus) << c.pins;
        EXPECT_EQ(SendText(serial, "<CMD_ReadRelease").has_value(), c.serialText) << c.pins;
        EXPECT_EQ(SendText(lan, "<CMD_Readcfg").has_value(), c.lanText) << c.pins;
    }
}

TEST_F(ModuleTest, TextProtocolInConfigurationMode) {
    pins.config = true;
    EXPECT_EQ(SendText(serial, "<CMD_ReadRelease"), sim::FieldModule::ReleaseText());
    std::string listing = SendText(serial, "<CMD_Readcfg").value_or("");
    EXPECT_TRUE(listing.starts_with("<config_begin\r\nModAdd:10\r\nMod485:0\r\n")) << listing;
    EXPECT_TRUE(listing.ends_with("Var3:SIM3\r\nconfig_end>\r\n")) << listing;
    for (std::string_view key : sim::ModuleConfig::Keys()) {
        EXPECT_NE(listing.find("\r\n" + std::string(key)), std::string::npos) << key;
    }
}

TEST_F(ModuleTest, ConfigurationWriteIsStoredAndTakesEffect) {
    int changes = 0;
    module.onConfigChanged = [&] { ++changes; };
    pins.config = true;
    EXPECT_EQ(SendText(serial, ToolWrite), "CONFIG OK\r\n");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(config.Value("Var1:"), "A");
    pins.config = false;
    EXPECT_FALSE(Send(serial, Read454)); // still asked at address 10
    EXPECT_TRUE(Send(serial, Rtu({11, 0x03, 0x01, 0xC5, 0x00, 0x04})));
}

TEST_F(ModuleTest, InvalidConfigurationWriteChangesNothing) {
    pins.config = true;
    const std::string before = config.ListText();
    struct Case {
        std::string write;
        std::string_view complaint;
    } cases[] = {
        {"<config_begin\r\nVar1:X\r\nModAdd:300\r\nconfig_end>\r\n", "ModAdd:300"},
        {"<config_begin\r\nBaudrate:22\r\nconfig_end>\r\n", "Baudrate:22"},
        {"<config_begin\r\nSerie_1:12 45\r\nconfig_end>\r\n", "Serie_1:"},
        {"<config_begin\r\nColour:red\r\nconfig_end>\r\n", "unknown key"},
        {"<config_begin\r\nconfig_end>\r\n", "no settings"},
        // The tool's write with every field empty: 136 bytes, no value at all.
        {"<config_begin\r\nModAdd:\r\nMod485:\r\nCont485:\r\nContTime:\r\nSpare:\r\nSerie_1:\r\n"
         "Serie_2:\r\nBaudrate:\r\nDDBBGG:\r\nVar1:\r\nVar2:\r\nVar3:\r\nconfig_end>\r\n",
         "ModAdd:"},
    };
    for (const Case& c : cases) {
        std::string reply = SendText(serial, c.write).value_or("");
        EXPECT_TRUE(reply.starts_with("CONFIG ERROR")) << reply;
        EXPECT_NE(reply.find(c.complaint), std::string::npos) << reply;
        EXPECT_EQ(config.ListText(), before);
    }
}

TEST_F(ModuleTest, MeterAnswersOnEitherEntranceWhateverThePins) {
    for (const char* state : {"uua", "aau"}) {
        pins = *sim::ParsePins(state);
        for (sim::Line* line : {&serial, &lan}) {
            EXPECT_EQ(SendText(*line, "/?0000!\r\n", 1000), "/RVX5RVEX-SIM-M1\r\n");
            auto readout = Send(*line,
                                sim::ToBytes("\x06"
                                             "050\r\n"),
                                2500);
            ASSERT_TRUE(readout);
            EXPECT_EQ(readout->front(), 0x02);
        }
    }
}

TEST(Meter, ReadoutFramingAndBlockCheck) {
    sim::Measurements fixed(true);
    sim::ModuleConfig config;
    sim::Meter meter(fixed, config, "0000", 3000);
    Bytes readout = meter.Readout(0);
    ASSERT_GE(readout.size(), 6u);
    EXPECT_EQ(readout[0], 0x02);
    EXPECT_EQ(readout[readout.size() - 2], 0x03);
    std::uint8_t bcc = 0;
    for (std::size_t i = 1; i + 1 < readout.size(); ++i)
        bcc ^= readout[i];
    EXPECT_EQ(readout.back(), bcc);
    std::string text(readout.begin() + 1, readout.end() - 2);
    EXPECT_TRUE(text.ends_with(")\r\n!\r\n"));
    for (const char* line : {"1.8.0(012345.678*kWh)\r\n", "32.7.0(230.1*V)\r\n",
                             "31.7.0(04.62*A)\r\n", "13.7.0(0.950)\r\n", "C.1.0(12345678)\r\n",
                             "F.F(00000000)\r\n", "14.7.0(50.00*Hz)\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

TEST(Meter, SignOnRules) {
    sim::Measurements fixed(true);
    sim::ModuleConfig config;
    sim::Meter meter(fixed, config, "0000", 3000);
    sim::Meter::Session session;
    const Bytes ack = sim::ToBytes("\x06"
                                   "050\r\n");
    EXPECT_FALSE(meter.OnAck(ack, session, 0).reply); // nobody signed on
    EXPECT_FALSE(meter.OnRequest(sim::ToBytes("/?1234!\r\n"), session, 0).reply);
    EXPECT_FALSE(meter.OnRequest(sim::ToBytes("/?0000\r\n"), session, 0).reply);
    EXPECT_TRUE(meter.OnRequest(sim::ToBytes("/?!\r\n"), session, 0).reply);
    EXPECT_FALSE(meter.OnAck(ack, session, 3001).reply); // too late
    EXPECT_TRUE(meter.OnRequest(sim::ToBytes("/?0000!\r\n"), session, 5000).reply);
    EXPECT_FALSE(meter
                     .OnAck(sim::ToBytes("\x06"
                                         "051\r\n"),
                            session, 5100)
                     .reply);                            // programming
    EXPECT_FALSE(meter.OnAck(ack, session, 5200).reply); // that ended the session
    EXPECT_TRUE(meter.OnRequest(sim::ToBytes("/?0000!\r\n"), session, 6000).reply);
    EXPECT_TRUE(meter.OnAck(ack, session, 9000).reply);
    EXPECT_FALSE(meter.OnAck(ack, session, 9100).reply); // one readout per sign-on
}

} // namespace
