#include "Meter.h"

namespace sim {

namespace {
constexpr std::uint8_t Stx = 0x02;
constexpr std::uint8_t Etx = 0x03;
} // namespace

std::string Meter::Identification() {
    return "/RVX5RVEX-SIM-M1\r\n";
}

std::uint8_t Meter::Bcc(std::span<const std::uint8_t> bytes) {
    std::uint8_t bcc = 0;
    for (std::uint8_t b : bytes)
        bcc ^= b;
    return bcc;
}

Bytes Meter::Readout(Millis now) const {
    std::string body;
    for (const QuantityInfo& info : Quantities()) {
        body += info.obis;
        body += '(';
        body += measurements_.ReadoutValue(info.quantity, now, config_.Serial1());
        body += ")\r\n";
    }
    body += "!\r\n";
    Bytes out;
    out.reserve(body.size() + 3);
    out.push_back(Stx);
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(Etx);
    out.push_back(Bcc(std::span(out).subspan(1)));
    return out;
}

Meter::Outcome Meter::OnRequest(const Bytes& request, Session& session, Millis now) const {
    std::string text = ToText(request);
    if (text.size() < 5 || !text.starts_with("/?") || !text.ends_with("!\r\n")) {
        return {std::nullopt, "not a meter request, ignored"};
    }
    std::string address = text.substr(2, text.size() - 5);
    if (!address.empty() && address != address_) {
        return {std::nullopt, "meter address " + address + ", no reply"};
    }
    session = Session{true, now};
    return {ToBytes(Identification()), "meter identification"};
}

Meter::Outcome Meter::OnAck(const Bytes& ack, Session& session, Millis now) const {
    if (!session.signedOn) return {std::nullopt, "acknowledgement without sign-on, ignored"};
    if (now - session.at > ackTimeout_) {
        session = Session{};
        return {std::nullopt, "acknowledgement too late, ignored"};
    }
    session = Session{};
    if (ack.size() != 6 || ack[1] != '0' || ack[2] < '0' || ack[2] > '9') {
        return {std::nullopt, "acknowledgement not understood, ignored"};
    }
    if (ack[3] != '0') return {std::nullopt, "only the data readout is offered, no reply"};
    return {Readout(now), "meter readout"};
}

} // namespace sim
