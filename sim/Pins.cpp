#include "Pins.h"

namespace sim {

std::optional<Pins> ParsePins(std::string_view letters) {
    if (letters.size() != 3) return std::nullopt;
    bool state[3];
    for (int i = 0; i < 3; ++i) {
        if (letters[i] == 'a') {
            state[i] = true;
        } else if (letters[i] == 'u') {
            state[i] = false;
        } else {
            return std::nullopt;
        }
    }
    return Pins{state[0], state[1], state[2]};
}

std::string PinLetters(const Pins& pins) {
    std::string out;
    for (bool state : {pins.reset, pins.config, pins.rs485})
        out += state ? 'a' : 'u';
    return out;
}

} // namespace sim
