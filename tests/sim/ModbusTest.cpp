// The simulator's Modbus side: CRC, register encodings, the slave's replies.
#include "Crc16.h"
#include "ModbusSlave.h"
#include "RegisterMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using sim::Bytes;

// Independent decoders, written from the register layouts of each type.
double DecodeDouble(const std::vector<std::uint16_t>& r) {
    std::uint64_t bits =
        std::uint64_t{r[3]} << 48 | std::uint64_t{r[2]} << 32 | std::uint64_t{r[1]} << 16 | r[0];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string DecodeChars(const std::vector<std::uint16_t>& r) {
    std::string out;
    for (std::uint16_t reg : r) {
        out += static_cast<char>(reg & 0xFF);
        out += static_cast<char>(reg >> 8);
    }
    return out;
}

TEST(Crc16, KnownFrames) {
    struct Case {
        Bytes data;
        std::uint16_t crc;
    } cases[] = {
        {{0x0A, 0x03, 0x01, 0xC5, 0x00, 0x04}, 0xB354}, // sent as 54 B3
        {{0x0A, 0x03, 0x01, 0xC6, 0x00, 0x04}, 0xB3A4},
        {sim::ToBytes("123456789"), 0x4B37},
        {{}, 0xFFFF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sim::Crc16(c.data), c.crc);
    EXPECT_TRUE(sim::CrcMatches(Bytes{0x0A, 0x03, 0x01, 0xC5, 0x00, 0x04, 0x54, 0xB3}));
    EXPECT_FALSE(sim::CrcMatches(Bytes{0x0A, 0x03, 0x01, 0xC5, 0x00, 0x04, 0xB3, 0x54}));
}

class MapTest : public ::testing::Test {
  protected:
    sim::Measurements fixed{true};
    sim::RegisterMap map{fixed};

    std::vector<std::uint16_t> Regs(int first, int count) {
        auto regs = map.Read(first, count, 0, "12345678");
        EXPECT_TRUE(regs.has_value()) << first;
        return regs.value_or(std::vector<std::uint16_t>(static_cast<std::size_t>(count)));
    }
};

TEST_F(MapTest, EveryTypeIsEncodedInItsOwnLayout) {
    EXPECT_DOUBLE_EQ(DecodeDouble(Regs(454, 4)), 12345.678);
    EXPECT_DOUBLE_EQ(DecodeDouble(Regs(482, 4)), 230.1);

    auto m = Regs(1468, 3); // high word, low word, decimals
    EXPECT_EQ(m[2], 3);
    EXPECT_EQ((std::uint32_t{m[0]} << 16 | m[1]), 12345678u);
    auto v = Regs(1496, 3);
    EXPECT_EQ(v[2], 1);
    EXPECT_EQ((std::uint32_t{v[0]} << 16 | v[1]), 2301u);

    auto l = Regs(1512, 2); // low word first
    EXPECT_EQ((std::uint32_t{l[1]} << 16 | l[0]), 12345678u);
    auto t = Regs(1524, 2);
    EXPECT_EQ((std::uint32_t{t[1]} << 16 | t[0]), 9876543u);

    EXPECT_EQ(Regs(600, 1)[0], 3);
    EXPECT_EQ(Regs(602, 1)[0], 5000);
    EXPECT_EQ(Regs(605, 1)[0], 0x1A05);

    EXPECT_EQ(DecodeChars(Regs(836, 8)), "RVEX-SN-12345678");
    EXPECT_EQ(DecodeChars(Regs(844, 8)), "R-VEX SIM FW 1.9");
}

TEST_F(MapTest, SerialNumberTextFollowsTheSetting) {
    auto regs = map.Read(836, 8, 0, "42");
    ASSERT_TRUE(regs);
    EXPECT_EQ(DecodeChars(*regs), "RVEX-SN-00000042");
}

TEST_F(MapTest, EntriesLieInsideRegionsWithoutOverlap) {
    const auto& entries = sim::RegisterMap::Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        int first = entries[i].number;
        int last = first + sim::RegisterMap::Span(entries[i]) - 1;
        bool inside = false;
        for (const auto& region : sim::RegisterMap::Regions()) {
            inside |= first >= region.first && last <= region.last;
        }
        EXPECT_TRUE(inside) << first;
        for (std::size_t j = i + 1; j < entries.size(); ++j) {
            int other = entries[j].number;
            int otherLast = other + sim::RegisterMap::Span(entries[j]) - 1;
            EXPECT_TRUE(last < other || otherLast < first) << first << " and " << other;
        }
    }
}

TEST_F(MapTest, ReadsStopAtTheEdgesOfRegions) {
    EXPECT_EQ(Regs(1471, 1)[0], 0); // gap inside a region reads 0
    EXPECT_TRUE(map.Read(454, 60, 0, "1"));
    EXPECT_FALSE(map.Read(454, 61, 0, "1")); // runs past 513
    EXPECT_FALSE(map.Read(453, 2, 0, "1"));
    EXPECT_FALSE(map.Read(1, 1, 0, "1"));
    EXPECT_FALSE(map.Read(65535, 1, 0, "1"));
}

TEST(Measurements, ChangeOverTimeUnlessStatic) {
    sim::Measurements live(false);
    sim::Measurements fixed(true);
    using Q = sim::Quantity;
    double before = live.Value(Q::EnergyImport, 0);
    double previous = before;
    for (sim::Millis t = 1000; t <= 600000; t += 7000) {
        double now = live.Value(Q::EnergyImport, t);
        EXPECT_GT(now, previous) << t; // an energy counter never runs backwards
        previous = now;
        EXPECT_NEAR(live.Value(Q::VoltageL1, t), 230.1, 1.5);
        EXPECT_EQ(fixed.Value(Q::VoltageL1, t), 230.1);
    }
    EXPECT_NEAR(previous - before, 3.2 * 600 / 3600, 0.1); // about 3.2 kW for ten minutes
    EXPECT_NE(live.Value(Q::Power, 20000), live.Value(Q::Power, 0));
}

class SlaveTest : public ::testing::Test {
  protected:
    sim::Measurements fixed{true};
    sim::RegisterMap map{fixed};
    sim::ModuleConfig config;
    sim::ModbusSlave slave{map, config};

    static Bytes Rtu(Bytes body) {
        std::uint16_t crc = sim::Crc16(body);
        body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        body.push_back(static_cast<std::uint8_t>(crc >> 8));
        return body;
    }
};

TEST_F(SlaveTest, ReadHoldingRegistersInRtu) {
    // Table row 454 is requested at address 453.
    auto out = slave.OnRtuFrame(Bytes{0x0A, 0x03, 0x01, 0xC5, 0x00, 0x04, 0x54, 0xB3}, 0);
    ASSERT_TRUE(out.reply);
    double value = 12345.678;
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    Bytes expected{0x0A, 0x03, 0x08};
    for (int k = 0; k < 4; ++k) { // least significant register first, each high byte first
        expected.push_back(static_cast<std::uint8_t>(bits >> (16 * k + 8)));
        expected.push_back(static_cast<std::uint8_t>(bits >> (16 * k)));
    }
    EXPECT_EQ(*out.reply, Rtu(expected));
}

TEST_F(SlaveTest, RepliesAndExceptions) {
    struct Case {
        Bytes pdu;
        Bytes reply;
    } cases[] = {
        {{0x03, 0x02, 0x57, 0x00, 0x01}, {0x03, 0x02, 0x00, 0x03}}, // register 600
        {{0x04, 0x02, 0x57, 0x00, 0x01}, {0x84, 0x01}},             // other function
        {{0x06, 0x02, 0x57, 0x00, 0x01}, {0x86, 0x01}},
        {{0x10, 0x02, 0x57, 0x00, 0x01, 0x02, 0x00, 0x00}, {0x90, 0x01}},
        {{0x03, 0x00, 0x00, 0x00, 0x01}, {0x83, 0x02}}, // register 1: unmapped
        {{0x03, 0x02, 0x57, 0x00, 0x09}, {0x83, 0x02}}, // runs past 607
        {{0x03, 0x01, 0xC5, 0x00, 0x00}, {0x83, 0x03}}, // quantity 0
        {{0x03, 0x01, 0xC5, 0x00, 0x7E}, {0x83, 0x03}}, // quantity 126
        {{0x03, 0x00, 0x00, 0x01, 0x00}, {0x83, 0x03}}, // 256, before the address check
        {{0x03, 0x01, 0xC5, 0x00}, {0x83, 0x03}},       // short request
    };
    for (const Case& c : cases)
        EXPECT_EQ(slave.ReplyPdu(c.pdu, 0), c.reply) << sim::HexText(c.pdu);
    // 125 passes the quantity check and fails only on the registers.
    EXPECT_EQ(slave.ReplyPdu({0x03, 0x05, 0xBB, 0x00, 0x7D}, 0), (Bytes{0x83, 0x02}));
    EXPECT_EQ(slave.ReplyPdu({0x03, 0x05, 0xBB, 0x00, 0x54}, 0).size(), 2u + 168u); // 84 at 1468
}

TEST_F(SlaveTest, OtherAddressesGetNoReply) {
    for (std::uint8_t address : {0, 1, 11, 247}) {
        auto out = slave.OnRtuFrame(Rtu({address, 0x03, 0x01, 0xC5, 0x00, 0x04}), 0);
        EXPECT_FALSE(out.reply) << int(address);
    }
    ASSERT_TRUE(config.Set("ModAdd:", "11").ok);
    EXPECT_TRUE(slave.OnRtuFrame(Rtu({11, 0x03, 0x01, 0xC5, 0x00, 0x04}), 0).reply);
    EXPECT_FALSE(slave.OnRtuFrame(Rtu({10, 0x03, 0x01, 0xC5, 0x00, 0x04}), 0).reply);
}

TEST_F(SlaveTest, OffsetOneServesTheTableNumberAtItsOwnAddress) {
    ASSERT_TRUE(config.Set("Mod485:", "1").ok);
    EXPECT_EQ(slave.ReplyPdu({0x03, 0x02, 0x58, 0x00, 0x01}, 0), (Bytes{0x03, 0x02, 0x00, 0x03}));
    EXPECT_EQ(slave.ReplyPdu({0x03, 0x01, 0xC5, 0x00, 0x01}, 0), (Bytes{0x83, 0x02})); // 453
}

TEST_F(SlaveTest, ModbusTcpEchoesTheTransactionAndChecksTheUnit) {
    auto out = slave.OnTcpFrame({0x12, 0x34, 0, 0, 0, 6, 0x0A, 0x03, 0x02, 0x57, 0x00, 0x01}, 0);
    ASSERT_TRUE(out.reply);
    EXPECT_EQ(*out.reply, (Bytes{0x12, 0x34, 0, 0, 0, 5, 0x0A, 0x03, 0x02, 0x00, 0x03}));
    auto error = slave.OnTcpFrame({0xFF, 0xFF, 0, 0, 0, 6, 0x0A, 0x04, 0x02, 0x57, 0x00, 0x01}, 0);
    ASSERT_TRUE(error.reply);
    EXPECT_EQ(*error.reply, (Bytes{0xFF, 0xFF, 0, 0, 0, 3, 0x0A, 0x84, 0x01}));
    EXPECT_FALSE(slave.OnTcpFrame({0, 1, 0, 0, 0, 6, 0x01, 0x03, 0x02, 0x57, 0x00, 0x01}, 0).reply);
}

} // namespace
