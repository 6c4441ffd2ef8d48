#pragma once
// What the module and the meter told about themselves in this session, gathered from
// the traffic for the commissioning report: the replies to the release and
// configuration reads, the meter's identification and its readout. A fact is the
// bytes received after its request was sent and before the next request of any kind;
// a new request of the same kind replaces it. Window thread only.
#include "tool/TrafficTap.h"

#include <string>

namespace tool {

class SessionFacts {
  public:
    // A fact keeps at most this many bytes (a meter's readout is a few hundred).
    static constexpr size_t MaxFactBytes = 65536;

    void Observe(const TrafficEvent& event);

    // Bytes as received ("" when not read in this session).
    std::string Release;
    std::string Configuration;
    std::string MeterIdentification;
    std::string MeterReadout;

  private:
    std::string* collecting_ = nullptr;
};

} // namespace tool
