#include "Measurements.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>

namespace sim {

namespace {

constexpr double TwoPi = 2.0 * std::numbers::pi;

// Load in kW: a slow swing over five minutes with a faster ripple, so that
// values visibly move from one poll round to the next.
double PowerAt(double s) {
    return 3.2 + 0.6 * std::sin(TwoPi * s / 300.0) + 0.15 * std::sin(TwoPi * s / 37.0);
}

// Energy drawn since start in kWh: the integral of PowerAt, in closed form so that
// counters never run backwards whatever the polling rate.
double EnergySince(double s) {
    double kws = 3.2 * s + 0.6 * 300.0 / TwoPi * (1.0 - std::cos(TwoPi * s / 300.0)) +
                 0.15 * 37.0 / TwoPi * (1.0 - std::cos(TwoPi * s / 37.0));
    return kws / 3600.0;
}

} // namespace

const std::vector<QuantityInfo>& Quantities() {
    static const std::vector<QuantityInfo> table = {
        {Quantity::EnergyImport, "1.8.0", "kWh", "%010.3f", false},
        {Quantity::EnergyTariff1, "1.8.1", "kWh", "%010.3f", false},
        {Quantity::EnergyTariff2, "1.8.2", "kWh", "%010.3f", false},
        {Quantity::EnergyExport, "2.8.0", "kWh", "%010.3f", false},
        {Quantity::ReactiveImport, "3.8.0", "kvarh", "%010.3f", false},
        {Quantity::ReactiveExport, "4.8.0", "kvarh", "%010.3f", false},
        {Quantity::Power, "1.7.0", "kW", "%06.3f", false},
        {Quantity::VoltageL1, "32.7.0", "V", "%05.1f", false},
        {Quantity::VoltageL2, "52.7.0", "V", "%05.1f", false},
        {Quantity::VoltageL3, "72.7.0", "V", "%05.1f", false},
        {Quantity::CurrentL1, "31.7.0", "A", "%05.2f", false},
        {Quantity::CurrentL2, "51.7.0", "A", "%05.2f", false},
        {Quantity::CurrentL3, "71.7.0", "A", "%05.2f", false},
        {Quantity::Frequency, "14.7.0", "Hz", "%05.2f", false},
        {Quantity::PowerFactor, "13.7.0", "", "%05.3f", false},
        {Quantity::OperatingTime, "C.8.0", "s", "%08.0f", false},
        {Quantity::PowerFailures, "C.7.0", "", "%04.0f", false},
        {Quantity::BillingResets, "0.1.0", "", "%02.0f", false},
        {Quantity::ErrorRegister, "F.F", "", "%08.0f", false},
        {Quantity::StatusWord, "C.5.0", "", "%05.0f", false},
        {Quantity::MeterSerial, "C.1.0", "", "%s", true},
        {Quantity::Firmware, "0.2.0", "", "%s", true},
    };
    return table;
}

const QuantityInfo& InfoOf(Quantity quantity) {
    for (const QuantityInfo& info : Quantities()) {
        if (info.quantity == quantity) return info;
    }
    throw std::logic_error("quantity without description");
}

double Measurements::Value(Quantity quantity, Millis now) const {
    double s = fixed_ ? 0.0 : static_cast<double>(now) / 1000.0;
    double load = PowerAt(s) / 3.2;
    switch (quantity) {
    case Quantity::EnergyImport:
        return 12345.678 + EnergySince(s);
    case Quantity::EnergyTariff1:
        return 8000.111 + EnergySince(s);
    case Quantity::EnergyTariff2:
        return 4345.567;
    case Quantity::EnergyExport:
        return 234.5;
    case Quantity::ReactiveImport:
        return 4567.891 + 0.33 * EnergySince(s);
    case Quantity::ReactiveExport:
        return 123.456;
    case Quantity::Power:
        return PowerAt(s);
    case Quantity::VoltageL1:
        return 230.1 + 1.2 * std::sin(TwoPi * s / 90.0);
    case Quantity::VoltageL2:
        return 229.8 + 1.0 * std::sin(TwoPi * s / 75.0);
    case Quantity::VoltageL3:
        return 231.2 + 0.9 * std::sin(TwoPi * s / 110.0);
    case Quantity::CurrentL1:
        return 4.62 * load;
    case Quantity::CurrentL2:
        return 4.35 * load;
    case Quantity::CurrentL3:
        return 4.80 * load;
    case Quantity::Frequency:
        return 50.0 + 0.03 * std::sin(TwoPi * s / 60.0);
    case Quantity::PowerFactor:
        return 0.95 + 0.012 * std::sin(TwoPi * s / 120.0);
    case Quantity::OperatingTime:
        return 9876543.0 + std::floor(s);
    case Quantity::PowerFailures:
        return 3.0;
    case Quantity::BillingResets:
        return 17.0;
    case Quantity::ErrorRegister:
        return 0.0;
    case Quantity::StatusWord:
        return 6661.0; // 0x1A05
    case Quantity::MeterSerial:
    case Quantity::Firmware:
        return 0.0;
    }
    return 0.0;
}

std::string Measurements::Text(Quantity quantity, std::string_view serial) const {
    if (quantity == Quantity::MeterSerial) return std::string(serial);
    if (quantity == Quantity::Firmware) return "R-VEX SIM FW 1.9";
    return {};
}

std::string Measurements::ReadoutValue(Quantity quantity, Millis now,
                                       std::string_view serial) const {
    const QuantityInfo& info = InfoOf(quantity);
    char value[64];
    if (info.text) {
        std::snprintf(value, sizeof value, "%s", Text(quantity, serial).c_str());
    } else {
        std::snprintf(value, sizeof value, info.format, Value(quantity, now));
    }
    std::string out = value;
    if (*info.unit) {
        out += '*';
        out += info.unit;
    }
    return out;
}

} // namespace sim
