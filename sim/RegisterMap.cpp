#include "RegisterMap.h"

#include <bit>
#include <cmath>
#include <cstdio>

namespace sim {

namespace {

using Q = Quantity;

std::uint32_t RoundToU32(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(std::llround(value));
}

} // namespace

const std::vector<MapEntry>& RegisterMap::Entries() {
    static const std::vector<MapEntry> entries = {
        // Doubles (Table2.c).
        {454, 'd', 4, Q::EnergyImport, "En. attiva imp.", 0, 1},
        {458, 'd', 4, Q::EnergyTariff1, "En. attiva T1", 0, 1},
        {462, 'd', 4, Q::EnergyTariff2, "En. attiva T2", 0, 1},
        {466, 'd', 4, Q::EnergyExport, "En. attiva esp.", 0, 1},
        {470, 'd', 4, Q::ReactiveImport, "En. reattiva imp.", 0, 1},
        {474, 'd', 4, Q::ReactiveExport, "En. reattiva esp.", 0, 1},
        {478, 'd', 4, Q::Power, "Potenza kW", 0, 1},
        {482, 'd', 4, Q::VoltageL1, "Tensione L1 V", 0, 1},
        {486, 'd', 4, Q::VoltageL2, "Tensione L2 V", 0, 1},
        {490, 'd', 4, Q::VoltageL3, "Tensione L3 V", 0, 1},
        {494, 'd', 4, Q::CurrentL1, "Corrente L1 A", 0, 1},
        {498, 'd', 4, Q::CurrentL2, "Corrente L2 A", 0, 1},
        {502, 'd', 4, Q::CurrentL3, "Corrente L3 A", 0, 1},
        {506, 'd', 4, Q::Frequency, "Frequenza Hz", 0, 1},
        {510, 'd', 4, Q::PowerFactor, "Fattore potenza", 0, 1},
        // Integers and status words (both tables).
        {600, 'i', 1, Q::PowerFailures, "Mancanze rete", 0, 1},
        {601, 'i', 1, Q::BillingResets, "Reset fatturazione", 0, 1},
        {602, 'i', 1, Q::Frequency, "Frequenza Hz x100", 0, 100},
        {603, 'i', 1, Q::VoltageL1, "Tensione L1 V x10", 0, 10},
        {604, 'h', 1, Q::ErrorRegister, "Registro errori", 0, 1},
        {605, 'h', 1, Q::StatusWord, "Stato contatore", 0, 1},
        // Texts (both tables).
        {836, 'c', 16, Q::MeterSerial, "Matricola", 0, 1},
        {844, 'c', 16, Q::Firmware, "Firmware", 0, 1},
        // MODE_32 and long (Table1.c).
        {1468, 'M', 3, Q::EnergyImport, "En. attiva imp.", 3, 1},
        {1472, 'M', 3, Q::EnergyTariff1, "En. attiva T1", 3, 1},
        {1476, 'M', 3, Q::EnergyTariff2, "En. attiva T2", 3, 1},
        {1480, 'M', 3, Q::EnergyExport, "En. attiva esp.", 3, 1},
        {1484, 'M', 3, Q::ReactiveImport, "En. reattiva imp.", 3, 1},
        {1488, 'M', 3, Q::ReactiveExport, "En. reattiva esp.", 3, 1},
        {1492, 'M', 3, Q::Power, "Potenza kW", 3, 1},
        {1496, 'M', 3, Q::VoltageL1, "Tensione L1 V", 1, 1},
        {1500, 'M', 3, Q::VoltageL2, "Tensione L2 V", 1, 1},
        {1504, 'M', 3, Q::VoltageL3, "Tensione L3 V", 1, 1},
        {1508, 'M', 3, Q::CurrentL1, "Corrente L1 A", 2, 1},
        {1512, 'l', 2, Q::EnergyImport, "En. attiva imp. Wh", 0, 1000},
        {1516, 'l', 2, Q::EnergyExport, "En. attiva esp. Wh", 0, 1000},
        {1520, 'l', 2, Q::Power, "Potenza W", 0, 1000},
        {1524, 'l', 2, Q::OperatingTime, "Ore funzion. s", 0, 1},
        {1528, 'l', 2, Q::PowerFailures, "Mancanze rete", 0, 1},
        {1532, 'l', 2, Q::BillingResets, "Reset fatturazione", 0, 1},
        {1536, 'M', 3, Q::CurrentL2, "Corrente L2 A", 2, 1},
        {1540, 'M', 3, Q::CurrentL3, "Corrente L3 A", 2, 1},
        {1544, 'M', 3, Q::Frequency, "Frequenza Hz", 2, 1},
        {1548, 'M', 3, Q::PowerFactor, "Fattore potenza", 3, 1},
    };
    return entries;
}

const std::vector<Region>& RegisterMap::Regions() {
    static const std::vector<Region> regions = {{454, 513}, {600, 607}, {836, 851}, {1468, 1551}};
    return regions;
}

int RegisterMap::Span(const MapEntry& entry) {
    switch (entry.type) {
    case 'd':
        return 4;
    case 'M':
        return 3;
    case 'l':
        return 2;
    case 'c':
        return (entry.count + 1) / 2;
    default:
        return 1;
    }
}

std::string RegisterMap::EntryText(const MapEntry& entry, std::string_view serial) const {
    if (entry.quantity == Quantity::MeterSerial) {
        std::string digits(serial);
        if (digits.size() < 8) digits.insert(0, 8 - digits.size(), '0');
        return "RVEX-SN-" + digits;
    }
    return measurements_.Text(entry.quantity, serial);
}

std::vector<std::uint16_t> RegisterMap::EntryRegisters(const MapEntry& entry, Millis now,
                                                       std::string_view serial) const {
    std::vector<std::uint16_t> regs(static_cast<std::size_t>(Span(entry)), 0);
    double value = measurements_.Value(entry.quantity, now);
    switch (entry.type) {
    case 'd': {
        auto bits = std::bit_cast<std::uint64_t>(value);
        for (int k = 0; k < 4; ++k)
            regs[k] = static_cast<std::uint16_t>(bits >> (16 * k));
        break;
    }
    case 'M': {
        std::uint32_t raw = RoundToU32(value * std::pow(10.0, entry.decimals));
        regs[0] = static_cast<std::uint16_t>(raw >> 16);
        regs[1] = static_cast<std::uint16_t>(raw & 0xFFFF);
        regs[2] = static_cast<std::uint16_t>(entry.decimals);
        break;
    }
    case 'l': {
        std::uint32_t raw = RoundToU32(value * entry.scale);
        regs[0] = static_cast<std::uint16_t>(raw & 0xFFFF);
        regs[1] = static_cast<std::uint16_t>(raw >> 16);
        break;
    }
    case 'c': {
        std::string text = EntryText(entry, serial);
        text.resize(regs.size() * 2, '\0');
        for (std::size_t k = 0; k < regs.size(); ++k) {
            auto first = static_cast<std::uint8_t>(text[2 * k]);
            auto second = static_cast<std::uint8_t>(text[2 * k + 1]);
            regs[k] = static_cast<std::uint16_t>(second << 8 | first);
        }
        break;
    }
    default:
        regs[0] = static_cast<std::uint16_t>(RoundToU32(value * entry.scale) & 0xFFFF);
    }
    return regs;
}

std::optional<std::vector<std::uint16_t>> RegisterMap::Read(int first, int quantity, Millis now,
                                                            std::string_view serial) const {
    auto exists = [](int number) {
        for (const Region& region : Regions()) {
            if (number >= region.first && number <= region.last) return true;
        }
        return false;
    };
    std::vector<std::uint16_t> out;
    out.reserve(static_cast<std::size_t>(quantity > 0 ? quantity : 0));
    for (int number = first; number < first + quantity; ++number) {
        if (!exists(number)) return std::nullopt;
        out.push_back(0);
    }
    // Fill from every entry that overlaps the range, each encoded once.
    for (const MapEntry& entry : Entries()) {
        int end = entry.number + Span(entry);
        if (end <= first || entry.number >= first + quantity) continue;
        std::vector<std::uint16_t> regs = EntryRegisters(entry, now, serial);
        for (int k = 0; k < Span(entry); ++k) {
            int number = entry.number + k;
            if (number >= first && number < first + quantity) out[number - first] = regs[k];
        }
    }
    return out;
}

std::string RegisterMap::Describe(Millis now, std::string_view serial) const {
    std::string out;
    char line[160];
    for (const MapEntry& entry : Entries()) {
        std::string value;
        if (entry.type == 'c') {
            value = "\"" + EntryText(entry, serial) + "\"";
        } else {
            std::snprintf(line, sizeof line, "%.6f", measurements_.Value(entry.quantity, now));
            value = line;
        }
        std::string regs;
        for (std::uint16_t reg : EntryRegisters(entry, now, serial)) {
            std::snprintf(line, sizeof line, "%s%04X", regs.empty() ? "" : " ", reg);
            regs += line;
        }
        std::snprintf(line, sizeof line, "%5u %c %2u %-7s %-20s %-22s [%s]\n", entry.number,
                      entry.type, entry.count, InfoOf(entry.quantity).obis, entry.note,
                      value.c_str(), regs.c_str());
        out += line;
    }
    return out;
}

} // namespace sim
