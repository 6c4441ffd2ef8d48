#include "tool/SessionFacts.h"

#include <algorithm>

namespace tool {

void SessionFacts::Observe(const TrafficEvent& event) {
    const std::string& bytes = event.Bytes;
    if (event.Direction == TrafficDirection::Received) {
        // A peer that keeps talking cannot grow a fact without bound.
        if (collecting_)
            collecting_->append(bytes, 0,
                                MaxFactBytes - std::min(MaxFactBytes, collecting_->size()));
        return;
    }
    // A read may follow a request still held in the send buffer; the last command in
    // the block is the one its reply answers.
    size_t release = bytes.rfind("<CMD_ReadRelease");
    size_t config = bytes.rfind("<CMD_Readcfg");
    if (release != std::string::npos || config != std::string::npos) {
        bool isConfig =
            config != std::string::npos && (release == std::string::npos || config > release);
        collecting_ = isConfig ? &Configuration : &Release;
    } else if (bytes.starts_with("/?")) {
        collecting_ = &MeterIdentification;
        MeterReadout.clear();
    } else if (bytes.starts_with("\x06")) {
        collecting_ = &MeterReadout;
    } else {
        collecting_ = nullptr;
        return;
    }
    collecting_->clear();
}

} // namespace tool
