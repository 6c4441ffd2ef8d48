#include "tool/ModbusFrame.h"
#include "CaseName.h"
#include "FormFixture.h"
#include "Hex.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fakes;
using namespace winsys;

namespace {

using testsupport::Hex;

std::string Hex(const tool::TModbusFrame& f) {
    return Hex(f.Bytes, f.Length);
}

uint16_t BitwiseCrc(const uint8_t* data, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

TEST(ModbusCrc16, IsCrc16ModbusFromTheStoredTables) {
    EXPECT_EQ(tool::ModbusCrc16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x4B37);
    const uint8_t hiStart[] = {0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41};
    const uint8_t loStart[] = {0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2};
    EXPECT_EQ(std::memcmp(tool::CrcTableHi, hiStart, 8), 0);
    EXPECT_EQ(std::memcmp(tool::CrcTableLo, loStart, 8), 0);
    // Every single byte and every pair of a pattern walks through all table entries.
    for (int a = 0; a < 256; ++a) {
        const uint8_t data[3] = {static_cast<uint8_t>(a), static_cast<uint8_t>(255 - a), 0x5A};
        for (uint16_t n = 1; n <= 3; ++n)
            ASSERT_EQ(tool::ModbusCrc16(data, n), BitwiseCrc(data, n)) << a << "/" << n;
    }
    EXPECT_EQ(tool::ModbusCrc16(nullptr, 0), 0xFFFF);
}

struct FrameCase {
    const char* what;
    uint32_t modbusTcp;
    uint32_t counterBefore;
    unsigned slave, start, quantity;
    const char* frame;
    uint32_t counterAfter;
};

class ReadRequestFraming : public ::testing::TestWithParam<FrameCase> {};

TEST_P(ReadRequestFraming, BuildsTheFrameOfTheFraming) {
    const FrameCase& c = GetParam();
    uint32_t counter = c.counterBefore;
    auto frame =
        tool::BuildReadRequest(c.modbusTcp, counter, static_cast<uint8_t>(c.slave),
                               static_cast<uint16_t>(c.start), static_cast<uint16_t>(c.quantity));
    EXPECT_EQ(Hex(frame), c.frame);
    EXPECT_EQ(counter, c.counterAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadRequestFraming,
    ::testing::Values(
        FrameCase{"rtu example", 0, 7, 10, 453, 4, "0A 03 01 C5 00 04 54 B3", 7},
        FrameCase{"tcp example", 1, 0, 10, 453, 4, "00 00 00 00 00 06 0A 03 01 C5 00 04", 1},
        FrameCase{"quantity 256", 0, 0, 10, 453, 256, "0A 03 01 C5 00 00 55 70", 0},
        FrameCase{"quantity 300", 1, 5, 10, 453, 300, "00 05 00 00 00 06 0A 03 01 C5 00 2C", 6},
        FrameCase{"start 0 - 1", 1, 0x1234, 1, 0xFFFF, 1, "12 34 00 00 00 06 01 03 FF FF 00 01",
                  0x1235},
        FrameCase{"id after FFFF", 1, 0x10000, 10, 0, 1, "00 00 00 00 00 06 0A 03 00 00 00 01",
                  0x10001},
        FrameCase{"id FFFF", 1, 0xFFFF, 10, 0, 1, "FF FF 00 00 00 06 0A 03 00 00 00 01", 0x10000}),
    [](const auto& info) { return CaseName(info.param.what); });

class SendRequestTest : public FormFixture {
  protected:
    tool::TModbusFrame Frame() { return tool::BuildReadRequest(*form, 10, 453, 4); }
};

TEST_F(SendRequestTest, BothOpenPortsGetTheSameFrameAndOneTransactionIdIsUsed) {
    serial->SetOpen(true);
    network->SetOpen(true);
    form->ModbusTcp = 1;
    tool::SendRequest(*form, Frame());
    EXPECT_EQ(Hex(serial->Written()), "00 00 00 00 00 06 0A 03 01 C5 00 04");
    EXPECT_EQ(network->Written(), serial->Written());
    EXPECT_EQ(form->TransactionCounter, 1u);
    EXPECT_EQ(form->HexDisplay, 1u);
    EXPECT_EQ(form->StatusBar1.Text(), "    Interrogazione MODBUS");
    EXPECT_EQ(form->Label18.Color(), clLime);
    EXPECT_EQ(form->Label23.Color(), clLime);
    for (char c : form->TxText)
        ASSERT_EQ(c, 0);
}

TEST_F(SendRequestTest, TheFramingFollowsModbusTcpWhicheverPortIsOpen) {
    serial->SetOpen(true);
    form->Button35.Click();
    tool::SendRequest(*form, Frame());
    EXPECT_EQ(serial->TakeWritten().size(), 12u);
    form->Button45.Click();
    tool::SendRequest(*form, Frame());
    EXPECT_EQ(Hex(serial->TakeWritten()), "0A 03 01 C5 00 04 54 B3");
}

TEST_F(SendRequestTest, LengthZeroWritesNothingButLightsTheLamps) {
    serial->SetOpen(true);
    form->Label18.SetCaption("Tasto");
    tool::SendRequest(*form, tool::TModbusFrame{});
    EXPECT_EQ(serial->Written(), "");
    EXPECT_EQ(form->Label18.Caption(), "TXD");
    EXPECT_EQ(form->Label18.Color(), clLime);
}

TEST_F(SendRequestTest, NoOpenPortWritesNothingAndLightsNothing) {
    tool::SendRequest(*form, Frame());
    EXPECT_EQ(serial->Written() + network->Written(), "");
    EXPECT_NE(form->Label18.Color(), clLime);
    EXPECT_NE(form->Label23.Color(), clLime);
    EXPECT_EQ(form->HexDisplay, 1u);
}

TEST_F(SendRequestTest, ASerialWriteErrorEndsItBeforeTheNetworkPort) {
    serial->SetOpen(true);
    network->SetOpen(true);
    serial->OutputBufferSize = 4;
    EXPECT_THROW(tool::SendRequest(*form, Frame()), FakePortError);
    EXPECT_EQ(network->Written(), "");
    EXPECT_NE(form->Label18.Color(), clLime);
}

} // namespace
