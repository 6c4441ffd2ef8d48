#include "ModbusReplies.h"

#include "tool/ModbusFrame.h"

namespace fakes {

std::string WithCrc(const ByteList& bytes) {
    uint16_t crc = tool::ModbusCrc16(bytes.data(), static_cast<uint16_t>(bytes.size()));
    std::string out(bytes.begin(), bytes.end());
    out += static_cast<char>(crc & 0xFF);
    out += static_cast<char>(crc >> 8);
    return out;
}

std::string RtuReply(uint8_t slave, const ByteList& data) {
    ByteList frame = {slave, 0x03, static_cast<uint8_t>(data.size())};
    frame.insert(frame.end(), data.begin(), data.end());
    return WithCrc(frame);
}

std::string RtuException(uint8_t slave, uint8_t code) {
    return WithCrc({slave, 0x83, code});
}

std::string TcpFrame(uint16_t transaction, const ByteList& afterLength, uint16_t protocol) {
    size_t length = afterLength.size();
    ByteList frame = {static_cast<uint8_t>(transaction >> 8), static_cast<uint8_t>(transaction),
                      static_cast<uint8_t>(protocol >> 8),    static_cast<uint8_t>(protocol),
                      static_cast<uint8_t>(length >> 8),      static_cast<uint8_t>(length)};
    frame.insert(frame.end(), afterLength.begin(), afterLength.end());
    return std::string(frame.begin(), frame.end());
}

std::string TcpReply(uint16_t transaction, uint8_t unit, const ByteList& data) {
    ByteList pdu = {unit, 0x03, static_cast<uint8_t>(data.size())};
    pdu.insert(pdu.end(), data.begin(), data.end());
    return TcpFrame(transaction, pdu);
}

} // namespace fakes
