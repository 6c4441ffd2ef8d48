// Random bytes on the shared line, with the pins taken from the input: the
// splitter, the module and the meter must never crash or lose their bounds.
#include "FieldModule.h"
#include "Line.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    sim::Measurements values(false);
    sim::RegisterMap map(values);
    sim::ModuleConfig config;
    sim::Pins pins{(data[0] & 1) != 0, (data[0] & 2) != 0, (data[0] & 4) != 0};
    sim::FieldModule module(config, map, pins);
    sim::Meter meter(values, config, "0000", 3000);
    sim::Line line(data[0] & 8 ? sim::Entrance::Lan : sim::Entrance::Serial, module, meter, config,
                   30, 1000);
    sim::MbapSplitter mbap;
    sim::Millis now = 0;
    std::size_t pos = 1;
    while (pos < size) {
        std::size_t piece = 1 + data[pos] % 64;
        ++pos;
        std::size_t n = piece < size - pos ? piece : size - pos;
        std::span bytes(data + pos, n);
        line.Feed(bytes, now);
        mbap.Feed(bytes);
        while (auto item = mbap.Next()) {
            if (item->valid) module.OnTcpFrame(item->bytes, now);
        }
        now += 17;
        line.Tick(now);
        pos += n;
    }
    line.Tick(now + 100000);
    return 0;
}
