#include "tool/ReplyJudging.h"

#include "tool/ModbusFrame.h"

namespace tool {

namespace {

constexpr uint8_t ReadHoldingRegisters = 0x03;
constexpr uint8_t ExceptionFlag = 0x80;
constexpr size_t MbapLength = 6; // transaction, protocol, length; the unit follows

uint8_t At(std::span<const uint8_t> b, size_t i) {
    return i < b.size() ? b[i] : 0;
}

uint16_t Word(std::span<const uint8_t> b, size_t i) {
    return static_cast<uint16_t>(At(b, i) << 8 | At(b, i + 1));
}

// The part after the unit (RTU) or the MBAP header (TCP) that both framings share:
// function code, then N and N bytes, or the exception code.
size_t PduLength(std::span<const uint8_t> pdu) {
    if (pdu.size() >= 1 && (pdu[0] & ExceptionFlag)) return 2;
    return 2 + static_cast<size_t>(At(pdu, 1));
}

TOutcome JudgePdu(std::span<const uint8_t> pdu, uint8_t unit, uint8_t expectedUnit,
                  uint8_t quantity) {
    if (unit != expectedUnit) return {TOutcomeKind::WrongSlave, unit};
    uint8_t function = pdu[0];
    if (function == (ReadHoldingRegisters | ExceptionFlag))
        return {TOutcomeKind::Exception, pdu[1]};
    if (function != ReadHoldingRegisters) return {TOutcomeKind::WrongFunction, function};
    if (pdu[1] != 2u * quantity) return {TOutcomeKind::BadLength, 0};
    return {};
}

} // namespace

size_t ReplyFrameLength(std::span<const uint8_t> bytes, bool modbusTcp) {
    if (!modbusTcp) return 1 + PduLength(bytes.subspan(std::min<size_t>(1, bytes.size()))) + 2;
    if (bytes.size() < MbapLength) return MbapLength + 3;
    size_t length = Word(bytes, 4);
    if (Word(bytes, 2) != 0 || length < 3) return bytes.size();
    return MbapLength + length;
}

std::optional<uint16_t> ReplyTransaction(std::span<const uint8_t> reply) {
    if (reply.size() < 4 || Word(reply, 2) != 0) return std::nullopt;
    return Word(reply, 0);
}

TOutcome JudgeReply(std::span<const uint8_t> reply, std::span<const uint8_t> request,
                    bool modbusTcp) {
    const TOutcome badLength{TOutcomeKind::BadLength, 0};
    if (!modbusTcp) {
        if (request.size() < 8 || reply.size() < 5) return badLength;
        size_t length = 1 + PduLength(reply.subspan(1)) + 2;
        if (reply.size() < length) return badLength;
        uint16_t crc = ModbusCrc16(reply.data(), static_cast<uint16_t>(length - 2));
        if (reply[length - 2] != static_cast<uint8_t>(crc) ||
            reply[length - 1] != static_cast<uint8_t>(crc >> 8))
            return {TOutcomeKind::CrcError, 0};
        return JudgePdu(reply.subspan(1, length - 3), reply[0], request[0], request[5]);
    }
    if (request.size() < 12 || reply.size() < MbapLength + 3) return badLength;
    size_t length = Word(reply, 4);
    if (length < 3 || reply.size() < MbapLength + length) return badLength;
    std::span<const uint8_t> pdu = reply.subspan(MbapLength + 1, length - 1);
    TOutcome outcome = JudgePdu(pdu, reply[MbapLength], request[MbapLength], request[11]);
    if (outcome.IsGood() && length != 1 + PduLength(pdu)) return badLength;
    return outcome;
}

} // namespace tool
