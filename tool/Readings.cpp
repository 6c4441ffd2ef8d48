#include "tool/Readings.h"

#include <cstdio>

namespace tool {

namespace {

std::string Hex2(uint8_t b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

} // namespace

const char* ExceptionName(uint8_t code) {
    switch (code) {
    case 0x01:
        return "illegal function";
    case 0x02:
        return "illegal data address";
    case 0x03:
        return "illegal data value";
    case 0x04:
        return "server device failure";
    case 0x05:
        return "acknowledge";
    case 0x06:
        return "server device busy";
    case 0x08:
        return "memory parity error";
    case 0x0A:
        return "gateway path unavailable";
    case 0x0B:
        return "gateway target device failed to respond";
    default:
        return "";
    }
}

std::string OutcomeText(const TOutcome& outcome) {
    switch (outcome.Kind) {
    case TOutcomeKind::Good:
        return "good";
    case TOutcomeKind::Exception: {
        std::string name = ExceptionName(outcome.Code);
        return "exception " + Hex2(outcome.Code) + (name.empty() ? "" : ": " + name);
    }
    case TOutcomeKind::CrcError:
        return "CRC error";
    case TOutcomeKind::WrongSlave:
        return "wrong slave " + Hex2(outcome.Code);
    case TOutcomeKind::WrongFunction:
        return "wrong function " + Hex2(outcome.Code);
    case TOutcomeKind::BadLength:
        return "bad length";
    case TOutcomeKind::NoReply:
        return "no reply";
    }
    return {};
}

void TExchangeCounters::Count(const TOutcome& outcome) {
    switch (outcome.Kind) {
    case TOutcomeKind::Good:
        ++Good;
        break;
    case TOutcomeKind::Exception:
        ++Exceptions;
        break;
    case TOutcomeKind::NoReply:
        ++NoReplies;
        break;
    default:
        ++BadReplies;
        break;
    }
}

std::string CountersText(const TExchangeCounters& c) {
    return "Sent " + std::to_string(c.Requests) + "  Good " + std::to_string(c.Good) + "  Exc " +
           std::to_string(c.Exceptions) + "  Bad " + std::to_string(c.BadReplies) + "  No reply " +
           std::to_string(c.NoReplies);
}

std::string CountersJson(const TExchangeCounters& c) {
    return "{\"Requests\":" + std::to_string(c.Requests) + ",\"Good\":" + std::to_string(c.Good) +
           ",\"Exceptions\":" + std::to_string(c.Exceptions) +
           ",\"BadReplies\":" + std::to_string(c.BadReplies) +
           ",\"NoReplies\":" + std::to_string(c.NoReplies) + "}";
}

} // namespace tool
