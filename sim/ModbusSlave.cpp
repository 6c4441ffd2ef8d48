#include "ModbusSlave.h"

#include "Crc16.h"

namespace sim {

namespace {

Bytes Exception(std::uint8_t function, std::uint8_t code) {
    return Bytes{static_cast<std::uint8_t>(function | 0x80), code};
}

} // namespace

Bytes ModbusSlave::ReplyPdu(const Bytes& pdu, Millis now) const {
    if (pdu.empty()) return Exception(0, 1);
    std::uint8_t function = pdu[0];
    if (function != 3) return Exception(function, 1);
    if (pdu.size() != 5) return Exception(function, 3);
    int start = pdu[1] << 8 | pdu[2];
    int quantity = pdu[3] << 8 | pdu[4];
    if (quantity < 1 || quantity > 125) return Exception(function, 3);
    int first = start + 1 - config_.RegisterOffset();
    auto regs = map_.Read(first, quantity, now, config_.Serial1());
    if (!regs) return Exception(function, 2);
    Bytes reply{3, static_cast<std::uint8_t>(2 * quantity)};
    for (std::uint16_t reg : *regs) {
        reply.push_back(static_cast<std::uint8_t>(reg >> 8));
        reply.push_back(static_cast<std::uint8_t>(reg & 0xFF));
    }
    return reply;
}

ModbusSlave::Outcome ModbusSlave::OnRtuFrame(const Bytes& frame, Millis now) const {
    if (frame.size() < 4) return {std::nullopt, "too short"};
    int address = frame[0];
    if (address == 0) return {std::nullopt, "broadcast, no reply"};
    if (address != config_.ModbusAddress()) {
        return {std::nullopt, "for address " + std::to_string(address) + ", no reply"};
    }
    Bytes pdu(frame.begin() + 1, frame.end() - 2);
    Bytes reply{frame[0]};
    Bytes body = ReplyPdu(pdu, now);
    reply.insert(reply.end(), body.begin(), body.end());
    std::uint16_t crc = Crc16(reply);
    reply.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    reply.push_back(static_cast<std::uint8_t>(crc >> 8));
    return {reply, body[0] & 0x80 ? "exception " + std::to_string(body[1]) : ""};
}

ModbusSlave::Outcome ModbusSlave::OnTcpFrame(const Bytes& frame, Millis now) const {
    if (frame.size() < 8) return {std::nullopt, "too short"};
    int unit = frame[6];
    if (unit != config_.ModbusAddress()) {
        return {std::nullopt, "for unit " + std::to_string(unit) + ", no reply"};
    }
    Bytes pdu(frame.begin() + 7, frame.end());
    Bytes body = ReplyPdu(pdu, now);
    std::size_t length = body.size() + 1;
    Bytes reply{frame[0],
                frame[1],
                0,
                0,
                static_cast<std::uint8_t>(length >> 8),
                static_cast<std::uint8_t>(length & 0xFF),
                frame[6]};
    reply.insert(reply.end(), body.begin(), body.end());
    return {reply, body[0] & 0x80 ? "exception " + std::to_string(body[1]) : ""};
}

} // namespace sim
