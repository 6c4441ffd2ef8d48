// The LAN module's three control lines as the field module sees them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sim {

struct Pins {
    bool reset = false;  // pin 1: microprocessor held in reset, module silent
    bool config = false; // pin 2: configuration and debug mode (text), else Modbus
    bool rs485 = true;   // pin 3: answers on the RS485 line, else through the LAN module

    bool operator==(const Pins&) const = default;
};

// "uua": one letter per pin, a for asserted, u for unasserted.
std::optional<Pins> ParsePins(std::string_view letters);
std::string PinLetters(const Pins& pins);

} // namespace sim
