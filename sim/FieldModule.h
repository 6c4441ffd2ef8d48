// The R-VEX field module: its Modbus slave in Modbus mode, its configuration
// text protocol in configuration mode, both gated by the LAN module's pins:
// pin 1 (reset) silences it, pin 2 selects configuration mode, pin 3 the
// interface it answers on (the RS485 line, or the LAN module's side).
#pragma once

#include "Bytes.h"
#include "LineSplitter.h"
#include "ModbusSlave.h"
#include "ModuleConfig.h"
#include "Pins.h"

#include <functional>
#include <optional>
#include <string>

namespace sim {

// Where a request reached the module from.
enum class Entrance {
    Serial, // the RS485 line (the pty)
    Lan,    // the LAN module's side: RTU OVER TCP and Modbus TCP
};

struct Outcome {
    std::optional<Bytes> reply;
    bool text = false; // the reply is text, logged as such
    std::string note;
};

class FieldModule {
  public:
    FieldModule(ModuleConfig& config, const RegisterMap& map, const Pins& pins)
        : config_(config), slave_(map, config), pins_(pins) {}

    // An RTU frame or a text command from the line.
    Outcome OnItem(const LineItem& item, Entrance entrance, Millis now);

    // A Modbus TCP frame handed over by the LAN module.
    Outcome OnTcpFrame(const Bytes& frame, Millis now);

    // Called after a configuration write was stored.
    std::function<void()> onConfigChanged;

    static std::string ReleaseText();

  private:
    // Why the module does not answer on this entrance, if it does not.
    std::optional<std::string> Silence(Entrance entrance) const;
    Outcome OnConfigWrite(const Bytes& bytes);

    ModuleConfig& config_;
    ModbusSlave slave_;
    const Pins& pins_;
};

} // namespace sim
