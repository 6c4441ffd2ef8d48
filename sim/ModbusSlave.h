// The field module's Modbus slave: Read Holding Registers (function 3) from the
// register map; exception 01 for every other function, 02 for registers outside
// the map, 03 for quantities outside 1 to 125 or a malformed request.
#pragma once

#include "Bytes.h"
#include "ModuleConfig.h"
#include "RegisterMap.h"

#include <optional>
#include <string>

namespace sim {

class ModbusSlave {
  public:
    ModbusSlave(const RegisterMap& map, const ModuleConfig& config) : map_(map), config_(config) {}

    // The reply PDU (function code onward) to a request PDU. Request address a
    // reads register number a + 1 - offset, offset being the module's "Mod485:".
    Bytes ReplyPdu(const Bytes& pdu, Millis now) const;

    struct Outcome {
        std::optional<Bytes> reply; // nothing: the module stays silent
        std::string note;           // why, for the log
    };

    // A complete RTU frame whose CRC is already known to match.
    Outcome OnRtuFrame(const Bytes& frame, Millis now) const;

    // A complete Modbus TCP frame: header of 7 bytes (transaction, protocol 0,
    // length, unit) and the PDU; the reply echoes the transaction identifier.
    Outcome OnTcpFrame(const Bytes& frame, Millis now) const;

  private:
    const RegisterMap& map_;
    const ModuleConfig& config_;
};

} // namespace sim
