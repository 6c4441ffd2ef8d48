// One serial entrance of the field module's line: the pty, or one RTU OVER TCP
// connection of the LAN module. Items are cut from its stream and handed to the
// field module or to the meter; replies go back the way the request came.
#pragma once

#include "FieldModule.h"
#include "LineSplitter.h"
#include "Meter.h"

#include <optional>
#include <span>
#include <vector>

namespace sim {

// One frame received, with the reply if there is one, for the log and the sender.
struct Exchange {
    Bytes rx;
    bool rxText = false;
    Outcome out;
};

class Line {
  public:
    Line(Entrance entrance, FieldModule& module, const Meter& meter, const ModuleConfig& config,
         Millis gap, Millis textGap)
        : entrance_(entrance), module_(module), meter_(meter), config_(config),
          splitter_(gap, textGap) {}

    std::vector<Exchange> Feed(std::span<const std::uint8_t> bytes, Millis now);

    // Gives up on an unfinished item once the line has been quiet long enough.
    std::vector<Exchange> Tick(Millis now);

    std::optional<Millis> Deadline() const { return splitter_.Deadline(); }

  private:
    Exchange Handle(LineItem item, Millis now);

    Entrance entrance_;
    FieldModule& module_;
    const Meter& meter_;
    const ModuleConfig& config_;
    LineSplitter splitter_;
    Meter::Session session_;
};

// Cuts a Modbus TCP stream into frames by the MBAP header's length field.
class MbapSplitter {
  public:
    void Feed(std::span<const std::uint8_t> bytes) {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    }

    struct Item {
        Bytes bytes;
        bool valid; // false: a header that breaks the rules, bytes dropped
    };
    // A header with a protocol identifier other than 0 or a length outside 2 to
    // 254 cannot be resynchronised: everything received so far is dropped.
    std::optional<Item> Next();

  private:
    Bytes buffer_;
};

} // namespace sim
