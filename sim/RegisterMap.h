// The field module's holding registers: every entry of the site's Table1.c and
// Table2.c, each a meter quantity encoded by its type letter:
//   d  double, four registers, the least significant 16 bits first
//   M  MODE_32, three registers: high word, low word, number of decimals
//   l  long, two registers, low word first
//   i  int, one register;  h  hex, one register
//   c  characters, two per register, the second one in the high byte
// Registers are numbered as the tables write them (1-based); the Modbus slave
// maps request addresses onto these numbers.
#pragma once

#include "Measurements.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct MapEntry {
    std::uint16_t number; // first register, as in the table files
    char type;            // d, M, l, i, h or c
    std::uint16_t count;  // the table's count: registers, or characters for c
    Quantity quantity;
    const char* note; // the table's note column
    int decimals;     // M: decimals sent in the third register
    double scale;     // l, i, h: value multiplied by this before rounding
};

// A run of registers that exist; registers of a region that no entry covers read 0.
struct Region {
    std::uint16_t first;
    std::uint16_t last;
};

class RegisterMap {
  public:
    explicit RegisterMap(const Measurements& measurements) : measurements_(measurements) {}

    static const std::vector<MapEntry>& Entries();
    static const std::vector<Region>& Regions();

    // Number of registers an entry occupies.
    static int Span(const MapEntry& entry);

    // The registers of one entry at time now; serial is the module's "Serie_1:".
    std::vector<std::uint16_t> EntryRegisters(const MapEntry& entry, Millis now,
                                              std::string_view serial) const;

    // quantity registers from register number first on, or nothing when any of
    // them lies outside every region.
    std::optional<std::vector<std::uint16_t>> Read(int first, int quantity, Millis now,
                                                   std::string_view serial) const;

    // One line per entry: number, type, count, OBIS code, value, registers.
    std::string Describe(Millis now, std::string_view serial) const;

  private:
    std::string EntryText(const MapEntry& entry, std::string_view serial) const;

    const Measurements& measurements_;
};

} // namespace sim
