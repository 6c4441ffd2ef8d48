#include "LineSplitter.h"

#include "Crc16.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace sim {

namespace {

// More than this without a complete item is junk in any case.
constexpr std::size_t MaxPending = 4096;
constexpr std::size_t MaxConfigWrite = 2048;
constexpr std::size_t MaxMeterLine = 64;

constexpr std::string_view ReadReleaseText = "<CMD_ReadRelease";
constexpr std::string_view ReadConfigText = "<CMD_Readcfg";
constexpr std::string_view ConfigBeginText = "<config_begin";
constexpr std::string_view ConfigEndText = "config_end>";

std::string_view View(const Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Length of a request frame by its function code, when the bytes so far tell it.
std::optional<std::size_t> RequestLength(const Bytes& b, bool& needMore) {
    needMore = false;
    switch (b[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
        return 8;
    case 7:
    case 11:
    case 12:
    case 17:
        return 4;
    case 24:
        return 6;
    case 22:
        return 10;
    case 15:
    case 16:
        if (b.size() < 7) {
            needMore = true;
            return std::nullopt;
        }
        return 9 + std::size_t{b[6]};
    case 20:
    case 21:
        if (b.size() < 3) {
            needMore = true;
            return std::nullopt;
        }
        return 5 + std::size_t{b[2]};
    case 23:
        if (b.size() < 11) {
            needMore = true;
            return std::nullopt;
        }
        return 13 + std::size_t{b[10]};
    default:
        return std::nullopt;
    }
}

} // namespace

void LineSplitter::Feed(std::span<const std::uint8_t> bytes, Millis now) {
    if (bytes.empty()) return;
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    last_ = now;
}

LineItem LineSplitter::Take(std::size_t length, ItemKind kind, std::string note) {
    length = std::min(length, buffer_.size());
    LineItem item{kind, Bytes(buffer_.begin(), buffer_.begin() + static_cast<long>(length)),
                  std::move(note)};
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
    return item;
}

LineSplitter::Result LineSplitter::TryText() const {
    std::string_view text = View(buffer_);
    // Only CR LF is taken with a command: a lone LF may be the next frame's
    // address (10, the module's own by default).
    auto lineEndAfter = [&](std::size_t length) {
        return text.substr(length, 2) == "\r\n" ? length + 2 : length;
    };
    switch (buffer_[0]) {
    case '<': {
        for (auto [word, kind] : std::array{std::pair{ReadReleaseText, ItemKind::ReadRelease},
                                            std::pair{ReadConfigText, ItemKind::ReadConfig}}) {
            if (text.starts_with(word)) return {Match::Complete, lineEndAfter(word.size()), kind};
        }
        if (text.starts_with(ConfigBeginText)) {
            std::size_t end = text.find(ConfigEndText);
            if (end != std::string_view::npos) {
                return {Match::Complete, lineEndAfter(end + ConfigEndText.size()),
                        ItemKind::ConfigWrite};
            }
            return {text.size() < MaxConfigWrite ? Match::Partial : Match::None, 0, ItemKind::Junk};
        }
        for (std::string_view word : {ReadReleaseText, ReadConfigText, ConfigBeginText}) {
            if (word.starts_with(text)) return {Match::Partial, 0, ItemKind::Junk};
        }
        return {Match::None, 0, ItemKind::Junk};
    }
    case '/': {
        std::size_t end = text.find('\n');
        if (end != std::string_view::npos && end < MaxMeterLine) {
            return {Match::Complete, end + 1, ItemKind::MeterRequest};
        }
        return {text.size() < MaxMeterLine ? Match::Partial : Match::None, 0, ItemKind::Junk};
    }
    case 0x06:
        if (text.size() < 6) return {Match::Partial, 0, ItemKind::Junk};
        if (text.substr(4, 2) == "\r\n") return {Match::Complete, 6, ItemKind::MeterAck};
        return {Match::None, 0, ItemKind::Junk};
    default:
        return {Match::None, 0, ItemKind::Junk};
    }
}

LineSplitter::Result LineSplitter::TryRtu() const {
    if (buffer_.size() < 2) return {Match::Partial, 0, ItemKind::Rtu};
    bool needMore = false;
    std::optional<std::size_t> length = RequestLength(buffer_, needMore);
    if (!length) return {Match::Partial, 0, ItemKind::Rtu};
    if (buffer_.size() < *length) return {Match::Partial, 0, ItemKind::Rtu};
    if (CrcMatches(std::span(buffer_).first(*length))) {
        return {Match::Complete, *length, ItemKind::Rtu};
    }
    return {Match::None, *length, ItemKind::Junk};
}

std::optional<LineItem> LineSplitter::Next(int address) {
    if (buffer_.empty()) return std::nullopt;
    if (lineEndDue_) {
        // The CR LF of a text command that came in a later piece.
        if (buffer_.size() == 1 && buffer_[0] == '\r') return std::nullopt;
        if (buffer_[0] == '\r' && buffer_[1] == '\n')
            buffer_.erase(buffer_.begin(), buffer_.begin() + 2);
        lineEndDue_ = false;
        if (buffer_.empty()) return std::nullopt;
    }
    Result text = TryText();
    Result rtu = TryRtu();
    std::array<Result, 2> order =
        buffer_[0] == address ? std::array{rtu, text} : std::array{text, rtu};
    bool partial = false;
    for (const Result& r : order) {
        if (r.match == Match::Complete) {
            bool text = r.kind != ItemKind::Rtu && r.kind != ItemKind::MeterRequest &&
                        r.kind != ItemKind::MeterAck;
            lineEndDue_ = text && r.length == buffer_.size() && buffer_.back() != '\n';
            return Take(r.length, r.kind);
        }
        if (r.match == Match::Partial) partial = true;
    }
    if (partial && buffer_.size() < MaxPending) return std::nullopt;
    if (rtu.match == Match::None && rtu.length > 0) {
        return Take(rtu.length, ItemKind::Junk, "CRC error, no reply");
    }
    return Take(buffer_.size(), ItemKind::Junk, "not understood, ignored");
}

std::optional<Millis> LineSplitter::Deadline() const {
    if (buffer_.empty()) return std::nullopt;
    bool text = TryText().match == Match::Partial;
    return last_ + (text ? textGap_ : gap_);
}

std::optional<LineItem> LineSplitter::Flush(Millis now) {
    std::optional<Millis> deadline = Deadline();
    if (!deadline || now < *deadline) return std::nullopt;
    if (buffer_.size() >= 4 && CrcMatches(buffer_)) return Take(buffer_.size(), ItemKind::Rtu);
    return Take(buffer_.size(), ItemKind::Junk, "incomplete, ignored");
}

} // namespace sim
