// Cuts the byte stream of one serial entrance (the pty, or one RTU OVER TCP
// connection) into the items that share the line: Modbus RTU frames, the
// module's text commands, and the meter's request and acknowledgement.
// A serial line has no packets, so an item ends where its own format says it
// ends (length by function code and CRC, a closing text, CR LF); whatever makes
// no sense is dropped as one junk item once the line has been quiet for a gap.
#pragma once

#include "Bytes.h"

#include <optional>
#include <span>
#include <string>

namespace sim {

enum class ItemKind {
    Rtu,          // a Modbus RTU frame with a matching CRC
    ReadRelease,  // "<CMD_ReadRelease"
    ReadConfig,   // "<CMD_Readcfg"
    ConfigWrite,  // "<config_begin" ... "config_end>"
    MeterRequest, // "/?" address "!" CR LF
    MeterAck,     // ACK and three option characters, CR LF
    Junk,         // anything else, a frame with a wrong CRC included
};

struct LineItem {
    ItemKind kind;
    Bytes bytes;
    std::string note; // for junk: why it was dropped
};

class LineSplitter {
  public:
    // gap: quiet time after which an unfinished binary frame is given up;
    // textGap: the same for an unfinished text, which may be typed slowly.
    LineSplitter(Millis gap, Millis textGap) : gap_(gap), textGap_(textGap) {}

    void Feed(std::span<const std::uint8_t> bytes, Millis now);

    // The next complete item at the front of the stream. address is the module's
    // Modbus address: a stream that starts with it is tried as RTU first.
    std::optional<LineItem> Next(int address);

    // When the line has been quiet past the deadline, what is left becomes one
    // item: an RTU frame of a function whose length is not known, if its CRC
    // matches, otherwise junk.
    std::optional<LineItem> Flush(Millis now);

    // When Flush will have something to do; nothing when the buffer is empty.
    std::optional<Millis> Deadline() const;

    std::size_t Pending() const { return buffer_.size(); }

  private:
    enum class Match { Complete, Partial, None };
    struct Result {
        Match match;
        std::size_t length;
        ItemKind kind;
    };
    Result TryText() const;
    Result TryRtu() const;
    LineItem Take(std::size_t length, ItemKind kind, std::string note = {});

    Bytes buffer_;
    bool lineEndDue_ = false; // a text command ended without its CR LF yet
    Millis last_ = 0;
    Millis gap_;
    Millis textGap_;
};

} // namespace sim
