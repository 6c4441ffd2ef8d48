// Receive accumulation, the send operation, the traffic lamps and the monitor's
// handlers.
#include "tool/Exchanges.h"
#include "tool/Unit1.h"

#include <cstring>

namespace tool {

using namespace winsys;

namespace {

constexpr int32_t LastRxIndex = 3000;

// Stores Count bytes of one port in RxBuffer, lighting that port's RXD lamp. An error
// of GetChar ends it at that byte, and Timer1 stays as it was. A full buffer is
// completed at once (shown in the monitor, its replies judged) before the next byte is
// stored, rather than written over from its start.
void AccumulateReceived(TMainForm& f, port::IComPort* cp, uint16_t count, TLabel& rxdLamp) {
    if (count > 0) f.Exchanges().Arriving(static_cast<size_t>(f.RxCount));
    for (uint16_t i = 0; i < count; ++i) {
        rxdLamp.SetColor(clLime);
        const auto byte = static_cast<uint8_t>(cp->GetChar());
        if (f.RxCount > LastRxIndex) {
            f.CompleteResponse();
            f.Exchanges().Arriving(static_cast<size_t>(f.RxCount));
        }
        f.RxBuffer[f.RxCount++] = byte;
    }
    f.Timer1.SetEnabled(true);
}

} // namespace

void TMainForm::WinsockPort1TriggerAvail(port::IComPort* CP, uint16_t Count) {
    AccumulateReceived(*this, CP, Count, Label12);
}

void TMainForm::ComPort1TriggerAvail(port::IComPort* CP, uint16_t Count) {
    AccumulateReceived(*this, CP, Count, Label17);
}

void TMainForm::Button10Click() {
    std::string text(TxText, strnlen(TxText, sizeof TxText));
    if (ComPort1->GetOpen()) {
        ComPort1->PutString(text);
        Label18.SetCaption("TXD");
        Label18.SetColor(clLime);
    }
    if (WinsockPort1->GetOpen()) {
        WinsockPort1->PutString(text);
        Label23.SetCaption("TXD");
        Label23.SetColor(clLime);
    }
    std::memset(TxText, 0, sizeof TxText);
}

void TMainForm::Timer2Timer() {
    for (TLabel* lamp : {&Label23, &Label12, &Label18, &Label17})
        lamp->SetColor(clBtnFace);
}

void TMainForm::Memo2Change() {
    Memo2.BringToFront();
}

void TMainForm::Memo2Click() {
    Memo2.BringToFront();
}

void TMainForm::Memo2DblClick() {
    Memo2.Clear();
}

void TMainForm::Memo4KeyPress(char&) {
    Label18.SetCaption("Tasto");
}

} // namespace tool
