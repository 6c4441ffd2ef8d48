#pragma once
// Judging a Modbus reply against the Read Holding Registers request it answers, and
// finding where one reply ends when several arrive together. Pure functions of the
// bytes; any contents are safe.
//
// RTU reply:        slave, 0x03, N, N data bytes, CRC lo, CRC hi
//   exception:      slave, 0x83, code, CRC lo, CRC hi
// Modbus TCP reply: transaction hi, lo, protocol 0x0000, length hi, lo (bytes after
//                   it), unit, 0x03, N, N data bytes; exception: unit, 0x83, code
#include "tool/Readings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tool {

// The number of bytes of the reply that begins at bytes[0], as its header announces
// it (more than bytes.size() when it is cut short). A Modbus TCP header that is not
// Modbus (protocol identifier not 0, length below 3) takes all the bytes given.
size_t ReplyFrameLength(std::span<const uint8_t> bytes, bool modbusTcp);

// The transaction identifier of a Modbus TCP reply; none when fewer than 4 bytes or a
// protocol identifier other than 0 (not a Modbus reply).
std::optional<uint16_t> ReplyTransaction(std::span<const uint8_t> reply);

// The outcome of `reply` as the answer to `request` (the request's own bytes, 8 in
// RTU, 12 in Modbus TCP), checked in this order: cut short (bad length), CRC (RTU),
// slave or unit, exception, function code, byte count against the quantity (and, in
// Modbus TCP, against the header's length).
TOutcome JudgeReply(std::span<const uint8_t> reply, std::span<const uint8_t> request,
                    bool modbusTcp);

} // namespace tool
