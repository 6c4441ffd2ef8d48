#pragma once
// Completion of received bytes (CompleteResponse, the handler of Timer1, 250 ms after
// the first data event of a reply) and the decoding of a value. Modbus replies are
// judged and shown in the place of the request each answers (Exchanges.h); text
// replies are appended to the monitor as they came.
//
// Layout read (s = 0 in RTU, 6 in Modbus TCP): byte count N at s + 2, register k at
// s + 3 + 2k (high byte first). Bytes past the end of the given reply read as 0, so
// any contents decode safely. Numbers are written with a decimal point whatever the
// process's numeric locale.
#include <cstdint>
#include <span>
#include <string>

namespace tool {

// The value text of type letter `type` (d double, M MODE_32, i int, l long int, h hex,
// c caratteri; any other letter gives ""), decoded from the reply in RTU (modbusTcp
// false) or Modbus TCP framing.
std::string DecodeValue(std::span<const uint8_t> reply, bool modbusTcp, char type);

// The monitor's rendering of a Modbus reply, "_0A_03_08...": every byte that came for
// it and nothing else. Its byte count does not set the length, so a short or an
// exception reply shows no bytes that never arrived, and a longer one hides none.
std::string RenderReplyHex(std::span<const uint8_t> reply);

} // namespace tool
