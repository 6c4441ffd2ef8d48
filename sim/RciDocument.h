// The RCI documents the LAN module understands, and its replies:
//   <rci_request version="1.1">
//     <set_state><gpio><pin1>asserted</pin1><pin3>unasserted</pin3></gpio></set_state>
//     <query_state><gpio/></query_state>
//     <reboot/>
//   </rci_request>
// Commands run in order, and only when the whole document is valid. The reply
// is an <rci_reply> with one element per command; a query answers
// <pin1>asserted</pin1> (or unasserted) for each pin, so the state word follows
// each tag directly. A document that cannot be run gets <error> and changes nothing.
#pragma once

#include "Pins.h"

#include <string>
#include <string_view>

namespace sim {

struct RciOutcome {
    std::string reply;   // the rci_reply document
    bool reboot = false; // a reboot was asked for: restart once the reply is out
    std::string note;    // one line for the log
};

RciOutcome RunRciDocument(std::string_view document, Pins& pins);

} // namespace sim
