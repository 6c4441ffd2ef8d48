#include "TrafficLog.h"

namespace sim {

namespace {
std::string Stamp(Millis now) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%03lld", static_cast<long long>(now / 1000),
                  static_cast<long long>(now % 1000));
    return buf;
}
} // namespace

void TrafficLog::Write(const std::string& line) {
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void TrafficLog::Frame(Millis now, std::string_view direction, std::string_view endpoint,
                       std::span<const std::uint8_t> bytes, bool text, std::string_view note) {
    std::string line = Stamp(now) + " " + std::string(direction) + " " + std::string(endpoint) +
                       " " + (text ? QuotedText(bytes) : HexText(bytes));
    if (!note.empty()) line += " | " + std::string(note);
    Write(line);
}

void TrafficLog::Rendered(Millis now, std::string_view direction, std::string_view endpoint,
                          std::string_view content) {
    Write(Stamp(now) + " " + std::string(direction) + " " + std::string(endpoint) + " " +
          std::string(content));
}

void TrafficLog::Event(Millis now, std::string_view text) {
    Write(Stamp(now) + " -- " + std::string(text));
}

void TrafficLog::Plain(std::string_view text) {
    Write(std::string(text));
}

} // namespace sim
