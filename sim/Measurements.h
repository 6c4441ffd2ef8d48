// What the simulated meter measures: energies, voltages, currents, power,
// frequency, power factor, counters and identification texts. The field module
// serves them as registers and the meter sends them in its readout, so both
// always agree.
#pragma once

#include "Bytes.h"

#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class Quantity {
    EnergyImport,   // 1.8.0  kWh
    EnergyTariff1,  // 1.8.1  kWh
    EnergyTariff2,  // 1.8.2  kWh
    EnergyExport,   // 2.8.0  kWh
    ReactiveImport, // 3.8.0  kvarh
    ReactiveExport, // 4.8.0  kvarh
    Power,          // 1.7.0  kW
    VoltageL1,      // 32.7.0 V
    VoltageL2,      // 52.7.0 V
    VoltageL3,      // 72.7.0 V
    CurrentL1,      // 31.7.0 A
    CurrentL2,      // 51.7.0 A
    CurrentL3,      // 71.7.0 A
    Frequency,      // 14.7.0 Hz
    PowerFactor,    // 13.7.0
    OperatingTime,  // C.8.0  s
    PowerFailures,  // C.7.0
    BillingResets,  // 0.1.0
    ErrorRegister,  // F.F
    StatusWord,     // C.5.0
    MeterSerial,    // C.1.0  text
    Firmware,       // 0.2.0  text
};

struct QuantityInfo {
    Quantity quantity;
    const char* obis;
    const char* unit;   // empty when the readout shows no unit
    const char* format; // printf format of the readout value
    bool text;          // an identification text, not a number
};

// Every quantity, in readout order.
const std::vector<QuantityInfo>& Quantities();
const QuantityInfo& InfoOf(Quantity quantity);

class Measurements {
  public:
    // Static: every value stays at its start value, so tests know what to expect.
    explicit Measurements(bool fixed) : fixed_(fixed) {}

    bool Fixed() const { return fixed_; }

    // The value at time now; numbers only (0 for text quantities).
    double Value(Quantity quantity, Millis now) const;

    // The identification texts; serial is the module's "Serie_1:" setting.
    std::string Text(Quantity quantity, std::string_view serial) const;

    // One readout value as the meter writes it between the parentheses,
    // "012345.678*kWh" for example.
    std::string ReadoutValue(Quantity quantity, Millis now, std::string_view serial) const;

  private:
    bool fixed_;
};

} // namespace sim
