// The simulator's log: one line per frame received or sent, and one per event,
// each "seconds.millis direction endpoint content [| note]", flushed per line
// so that a technician (or a test) sees both sides as they happen.
#pragma once

#include "Bytes.h"

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace sim {

class TrafficLog {
  public:
    explicit TrafficLog(std::FILE* out) : out_(out) {}

    // direction "rx" or "tx"; text frames are quoted, binary ones in hexadecimal.
    void Frame(Millis now, std::string_view direction, std::string_view endpoint,
               std::span<const std::uint8_t> bytes, bool text, std::string_view note = {});

    // A frame already rendered (HTTP requests and replies).
    void Rendered(Millis now, std::string_view direction, std::string_view endpoint,
                  std::string_view content);

    // direction "--" for events.
    void Event(Millis now, std::string_view text);

    // A bare line (the "ready" signal).
    void Plain(std::string_view text);

  private:
    void Write(const std::string& line);
    std::FILE* out_;
};

} // namespace sim
