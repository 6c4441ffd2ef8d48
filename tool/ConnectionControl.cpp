#include "tool/ConnectionControl.h"

#include "port/ComMapping.h"
#include "tool/DecimalText.h"
#include "tool/Unit1.h"
#include "winsys/Application.h"

namespace tool {

namespace {

// The socket errors after which a client port closes itself right after the error
// event, while it still reads as open during the event.
bool ClosesClient(int32_t code) {
    return code == 10052 || code == 10053 || code == 10054 || code == 10061;
}

void ShowSerialLabels(TMainForm& f, bool open) {
    f.Label2.SetCaption(open ? "OPEN" : "CLOSE");
    f.Label2.SetColor(open ? clLime : clBtnFace);
    f.Label3.SetColor(open ? clLime : clBtnFace);
}

// The network port has closed itself: its lamps go out.
void ShowNetworkPortClosed(TMainForm& f) {
    f.Label5.SetColor(clBtnFace);
    f.Label13.SetColor(clBtnFace);
}

// A port has opened: the counters start again, and so may the errors shown.
void RestartCounters(TMainForm& f) {
    winsys::ReportSuccess();
    f.Counters = {};
    f.NotifyCountersChanged();
}

void ShowGlyphState(TBitBtn& button, bool open) {
    button.LoadGlyph(open ? "BmpOK.bmp" : "BmpX.bmp");
    button.SetCaption(open ? "Aperta" : "Chiusa");
}

} // namespace

void EnumerateComPorts(uint8_t list[100]) {
    int count = 0;
    for (unsigned n = 1; n <= port::MaxComNumber; ++n)
        if (port::ComPortUsable(n)) list[count++] = static_cast<uint8_t>(n);
    list[count] = 0;
}

std::string ComPortDevices(const uint8_t list[100]) {
    std::string out;
    for (int i = 0; i < 100 && list[i] != 0; ++i) {
        if (!out.empty()) out += ", ";
        out += "COM" + std::to_string(list[i]) + " = " + port::ComDevicePath(list[i]);
    }
    return out;
}

uint16_t ComNumberFromText(const std::string& text) {
    std::string area = text.substr(0, 9);
    if (area.size() <= 3) return 0;
    return static_cast<uint16_t>(DecimalToLong(std::string_view(area).substr(3)));
}

void ShowSerialPortState(TMainForm& f) {
    bool open = f.ComPort1->GetOpen();
    ShowSerialLabels(f, open);
    ShowGlyphState(f.BitBtn4, open);
}

void ShowNetworkPortState(TMainForm& f, bool open) {
    ShowGlyphState(f.BitBtn5, open);
}

void TMainForm::ComboBox1Change() {
    ComPort1->SetOpen(false);
    ComPort1->SetComNumber(ComNumberFromText(ComboBox1.Text()));
    ShowSerialPortState(*this);
}

void TMainForm::BitBtn4Click() {
    if (ComboBox1.ItemIndex() >= 0) {
        if (!ComPort1->GetOpen()) {
            ComPort1->SetComNumber(ComNumberFromText(ComboBox1.Text()));
            ComPort1->SetOpen(true);
            RestartCounters(*this);
            ShowSerialLabels(*this, true);
            StatusBar1.SetText("    OPEN COM INTERFACE");
        } else {
            ComPort1->SetOpen(false);
            // Before stopping the polling, whose glyphs may fail to load.
            ShowSerialLabels(*this, false);
            StatusBar1.SetColor(clGradientInactiveCaption);
            StatusBar1.SetText("    CLOSE COM INTERFACE");
            Button42.Click();
        }
    }
    ShowSerialPortState(*this);
}

void TMainForm::BitBtn5Click() {
    if (WinsockPort1->GetOpen()) {
        WinsockPort1->SetOpen(false);
        StatusBar1.SetColor(clGradientInactiveCaption);
        StatusBar1.SetText("    CLOSE IP SOCKET");
        for (TLabel* l : {&Label13, &Label12, &Label23, &Label5})
            l->SetColor(clBtnFace);
        Button42.Click();
    } else {
        StatusBar1.SetText("    OPEN IP SOCKET Wait");
        WinsockPort1->SetWsPort(Edit9.Text());
        WinsockPort1->SetWsAddress(Edit4.Text());
        WinsockPort1->SetWsMode(ComboBox3.ItemIndex() == 1 ? port::wsServer : port::wsClient);
        WinsockPort1->SetOpen(true);
        RestartCounters(*this);
        Label13.SetCaption("Client");
        Label13.SetColor(clLime);
        Label5.SetColor(clLime);
    }
    ShowNetworkPortState(*this, WinsockPort1->GetOpen());
}

void TMainForm::WinsockPort1WsConnect(port::IComPort*) {
    Label24.SetCaption("Connesso");
    Label24.SetColor(clLime);
    StatusBar1.SetColor(clLime);
    StatusBar1.SetText("    OPEN IP SOCKET");
}

void TMainForm::WinsockPort1WsDisconnect(port::IComPort*) {
    Label24.SetCaption("Disconnesso");
    Label24.SetColor(clBtnFace);
    if (!WinsockPort1->GetOpen()) ShowNetworkPortClosed(*this);
    ShowNetworkPortState(*this, WinsockPort1->GetOpen());
}

void TMainForm::WinsockPort1WsError(port::IComPort*, int32_t ErrCode) {
    Label24.SetCaption("Socket Error");
    Label24.SetColor(clBtnFace);
    bool closing = WinsockPort1->GetWsMode() == port::wsClient && ClosesClient(ErrCode);
    if (closing) {
        ShowNetworkPortClosed(*this);
        StatusBar1.SetText("    Socket Error: " + std::to_string(ErrCode));
    }
    ShowNetworkPortState(*this, WinsockPort1->GetOpen() && !closing);
}

void TMainForm::Button35Click() {
    Shape8.SetBrushColor(clSkyBlue);
    ModbusTcp = 1;
    Label47.SetCaption("MB TCP");
}

void TMainForm::Button45Click() {
    Shape8.SetBrushColor(clMoneyGreen);
    ModbusTcp = 0;
    Label47.SetCaption("MB RTU");
}

} // namespace tool
