// Button23Click: reads "Config1.c" from the current directory and applies it to the
// configuration fields, the serial line, the meter's acknowledgement delay, the LAN
// module's address, the start-up framing and the RCI port.
#include "tool/ConfigFile.h"
#include "tool/ConnectionControl.h"
#include "tool/InputFile.h"
#include "tool/RciSettings.h"
#include "tool/Unit1.h"

#include <cstdio>
#include <string>

namespace tool {

namespace {

std::string ReadStatusText(const TConfigReading& r) {
    std::string status = "    READ CONFIG1 FILE";
    if (r.textCut) status += " - only its first 1999 bytes read, the file holds 2000 or more";
    std::string cut;
    for (auto [key, word] : {std::pair{"Var1:", &r.Var1}, std::pair{"Var2:", &r.Var2},
                             std::pair{"Var3:", &r.Var3}, std::pair{"IP_TEST:", &r.IpTest}}) {
        if (word->cut) cut += std::string(" ") + key;
    }
    if (!cut.empty()) status += " - words cut to 19 characters:" + cut;
    return status;
}

} // namespace

void TMainForm::Button23Click() {
    std::FILE* file = OpenInputFile("Config1.c");
    if (!file) {
        StatusBar1.SetText("    Cannot open CONFIG1 FILE");
        return;
    }
    // One byte more than the area keeps tells a file of 2000 bytes or more.
    char bytes[ConfigFileTextSize];
    size_t size = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    const TConfigReading r = ReadConfigText(bytes, size);

    Edit10.SetText(std::to_string(r.ModAdd));
    Edit11.SetText(std::to_string(r.Mod485));
    Edit12.SetText(std::to_string(r.Cont485));
    Edit13.SetText(std::to_string(r.ContTime));
    Edit14.SetText(std::to_string(r.Spare));
    Edit15.SetText(std::to_string(r.Serie1));
    Edit16.SetText(std::to_string(r.Serie2));
    Edit31.SetText(std::to_string(r.Baudrate));

    const int32_t BaudIndex = r.Baudrate;
    ComboBox5.SetItemIndex(BaudIndex);
    ComboBox6.SetItemIndex(BaudIndex);

    const bool wasOpen = ComPort1->GetOpen();
    ComPort1->SetOpen(false);
    if (BaudIndex >= 1 && BaudIndex <= 8) {
        const TLineSetting& line = LineSettingTable[BaudIndex];
        ComPort1->SetBaud(line.baud);
        ComPort1->SetDataBits(line.dataBits);
        ComPort1->SetParity(line.parity);
        ComPort1->SetStopBits(line.stopBits);
    }

    Edit38.SetText(r.DDBBGG > 0 ? std::to_string(r.DDBBGG) : "0");

    // A missing word keeps what the last reading gave the field; the first reading
    // empties it rather than leave the design-time name for Write Config to send.
    for (auto [field, word] :
         {std::pair{&Edit35, &r.Var1}, std::pair{&Edit36, &r.Var2}, std::pair{&Edit37, &r.Var3}}) {
        if (word->found)
            field->SetText(word->text);
        else if (!ConfigWordsRead)
            field->SetText("");
    }
    ConfigWordsRead = true;

    StatusBar1.SetText(ReadStatusText(r));

    Edit8.SetText(std::to_string(r.Delta1));
    Edit22.SetText(std::to_string(r.Delta2));
    StartModbusTcp = r.Delta1;

    Edit2.SetText(std::to_string(r.TimerT3));
    // A negative delay (the key missing gives -1) is not set (AckDelaySet): an
    // acknowledgement already waiting is dropped, so that its unsigned interval cannot
    // arm the timer for weeks.
    if (r.TimerT3 < 0) Timer3.SetEnabled(false);
    Timer3.SetInterval(static_cast<unsigned>(r.TimerT3));

    if (r.IpTest.found) Edit4.SetText(r.IpTest.text);

    RciPort = RciPortFromNumber(r.RciPort);

    // Last, so that a glyph that cannot be loaded does not cut the reading short.
    if (wasOpen) ShowSerialPortState(*this);
}

} // namespace tool
