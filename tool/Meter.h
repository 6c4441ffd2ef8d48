#pragma once
// The direct meter interrogation: the sign-on request "/?0000!" CR LF (Button21),
// and, once Timer3's delay has passed, the acknowledgement with option select
// ACK "050" CR LF (Button22, clicked by Timer3).

namespace tool {

class TMainForm;

// Whether Timer3 holds a delay the acknowledgement may wait for. The start-up
// configuration file gives the delay as a signed number; a negative one (the key
// "Timer_T3:" missing gives -1) is kept as its unsigned interval, which lies above
// every real delay, and means the delay is not set: no acknowledgement is sent.
bool AckDelaySet(const TMainForm& form);

} // namespace tool
