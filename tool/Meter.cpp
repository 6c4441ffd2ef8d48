// Button21Click, Timer3Timer and Button22Click: the meter's sign-on and its
// acknowledgement after the configured delay.
#include "tool/Meter.h"

#include "tool/Unit1.h"

#include <cstdint>
#include <cstring>

namespace tool {

bool AckDelaySet(const TMainForm& f) {
    return static_cast<int32_t>(f.Timer3.Interval()) >= 0;
}

void TMainForm::Button21Click() {
    const bool delaySet = AckDelaySet(*this);
    HexDisplay = 0;
    StatusBar1.SetText(delaySet ? "    Interrogazione Contatore"
                                : "    Interrogazione Contatore - ACK time not set "
                                  "(Timer_T3: in CONFIG1 FILE): no ACK will be sent");
    Memo2.Clear();
    std::memset(TxText, 0, sizeof TxText);
    std::strcpy(TxText, "/?0000!\r\n");
    Button10.Click();
    // Enabling a running timer does not restart it: a second Read keeps the first
    // Read's delay.
    if (delaySet) Timer3.SetEnabled(true);
}

void TMainForm::Timer3Timer() {
    // The delay is over whether or not the acknowledgement could be sent: a send that
    // raises must not leave the timer failing again every interval.
    struct StopTimer {
        TTimer& Timer;
        ~StopTimer() { Timer.SetEnabled(false); }
    } stop{Timer3};
    Button22.Click();
}

void TMainForm::Button22Click() {
    HexDisplay = 0;
    StatusBar1.SetText("    Send ACK");
    std::memset(TxText, 0, sizeof TxText);
    std::strcpy(TxText, "\x06"
                        "050\r\n");
    Button10.Click();
}

} // namespace tool
