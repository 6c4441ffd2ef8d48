#include "Line.h"

namespace sim {

Exchange Line::Handle(LineItem item, Millis now) {
    Exchange ex;
    ex.rxText = item.kind != ItemKind::Rtu && item.kind != ItemKind::Junk;
    if (item.kind == ItemKind::Junk) {
        // Junk that reads as text is logged as text, so typed mistakes stay legible.
        std::size_t printable = 0;
        for (std::uint8_t c : item.bytes)
            printable += (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n';
        ex.rxText = printable * 10 >= item.bytes.size() * 9;
    }
    if (item.kind == ItemKind::MeterRequest || item.kind == ItemKind::MeterAck) {
        Meter::Outcome m = item.kind == ItemKind::MeterRequest
                               ? meter_.OnRequest(item.bytes, session_, now)
                               : meter_.OnAck(item.bytes, session_, now);
        ex.out = Outcome{m.reply, true, m.note};
    } else {
        ex.out = module_.OnItem(item, entrance_, now);
    }
    ex.rx = std::move(item.bytes);
    return ex;
}

std::vector<Exchange> Line::Feed(std::span<const std::uint8_t> bytes, Millis now) {
    splitter_.Feed(bytes, now);
    std::vector<Exchange> out;
    while (auto item = splitter_.Next(config_.ModbusAddress())) {
        out.push_back(Handle(std::move(*item), now));
    }
    return out;
}

std::vector<Exchange> Line::Tick(Millis now) {
    std::vector<Exchange> out;
    if (auto item = splitter_.Flush(now)) {
        out.push_back(Handle(std::move(*item), now));
        while (auto next = splitter_.Next(config_.ModbusAddress())) {
            out.push_back(Handle(std::move(*next), now));
        }
    }
    return out;
}

std::optional<MbapSplitter::Item> MbapSplitter::Next() {
    if (buffer_.size() < 7) return std::nullopt;
    std::size_t length = std::size_t{buffer_[4]} << 8 | buffer_[5];
    bool protocolOk = buffer_[2] == 0 && buffer_[3] == 0;
    if (!protocolOk || length < 2 || length > 254) {
        Item junk{std::move(buffer_), false};
        buffer_.clear();
        return junk;
    }
    if (buffer_.size() < 6 + length) return std::nullopt;
    Item item{Bytes(buffer_.begin(), buffer_.begin() + static_cast<long>(6 + length)), true};
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(6 + length));
    return item;
}

} // namespace sim
