// The utility meter on the field module's line, in IEC 62056-21 mode C:
// the request "/?" address "!" CR LF gets the identification "/RVX5..." CR LF;
// the acknowledgement ACK "0", baud character, "0" CR LF that follows within the
// time limit gets the data readout: STX, one "OBIS(value*unit)" CR LF line per
// quantity, "!" CR LF, ETX and the block check character.
#pragma once

#include "Bytes.h"
#include "Measurements.h"
#include "ModuleConfig.h"

#include <optional>
#include <string>

namespace sim {

class Meter {
  public:
    // address: the device address the meter answers to besides none at all;
    // ackTimeout: how long after its identification it waits for the acknowledgement.
    Meter(const Measurements& measurements, const ModuleConfig& config, std::string address,
          Millis ackTimeout)
        : measurements_(measurements), config_(config), address_(std::move(address)),
          ackTimeout_(ackTimeout) {}

    // Sign-on state of one line: the meter answers the acknowledgement on the
    // line that signed it on.
    struct Session {
        bool signedOn = false;
        Millis at = 0;
    };

    struct Outcome {
        std::optional<Bytes> reply;
        std::string note;
    };

    Outcome OnRequest(const Bytes& request, Session& session, Millis now) const;
    Outcome OnAck(const Bytes& ack, Session& session, Millis now) const;

    static std::string Identification();
    Bytes Readout(Millis now) const;

    // XOR of every byte given; the readout's covers what follows STX through ETX.
    static std::uint8_t Bcc(std::span<const std::uint8_t> bytes);

  private:
    const Measurements& measurements_;
    const ModuleConfig& config_;
    std::string address_;
    Millis ackTimeout_;
};

} // namespace sim
