// The LAN module's pin, status and reboot commands: each posts one operator-supplied
// RCI request file through Button28; "Read Status" then shows the three pins.
#include "tool/FindKeyEnd.h"
#include "tool/Unit1.h"

#include <cstring>

namespace tool {

using namespace winsys;

namespace {

void RunCommand(TMainForm& f, const char* fileName) {
    f.StatusBar1.SetText("    ");
    std::memset(f.RciFileName, 0, sizeof f.RciFileName);
    std::strncpy(f.RciFileName, fileName, sizeof f.RciFileName - 1);
    f.Button28.Click();
}

// The character right after tag in RciReply, or 0 when the tag is missing or ends
// within the first ten characters.
char PinState(const TMainForm& f, const char* tag) {
    int end = FindKeyEnd(f.RciReply, tag, static_cast<int>(sizeof f.RciReply));
    if (end <= 10 || end >= static_cast<int>(sizeof f.RciReply)) return 0;
    return f.RciReply[end];
}

// The frame of the active mode is filled, the other one outlined.
void ShowActive(TShape& active, TShape& inactive) {
    active.SetBrushColor(clMoneyGreen);
    active.SetPenColor(clBlack);
    inactive.SetBrushColor(clBtnFace);
    inactive.SetPenColor(clLime);
}

void ShowPinStatus(TMainForm& f) {
    switch (PinState(f, "<pin1>")) {
    case 'a':
        f.Label31.SetColor(clRed);
        f.Label31.SetCaption("PIN1->Asserted   (Reset)");
        break;
    case 'u':
        f.Label31.SetColor(clLime);
        f.Label31.SetCaption("PIN1->Unasserted ( Run )");
        break;
    }
    switch (PinState(f, "<pin2>")) {
    case 'a':
        f.Label32.SetCaption("PIN2->Asserted   (Debug_Config )");
        f.Label32.SetColor(clYellow);
        ShowActive(f.Shape1, f.Shape4);
        break;
    case 'u':
        f.Label32.SetCaption("PIN2->Unasserted (Modbus) ");
        f.Label32.SetColor(clLime);
        ShowActive(f.Shape4, f.Shape1);
        break;
    }
    switch (PinState(f, "<pin3>")) {
    case 'a':
        f.Label33.SetCaption("PIN3->Asserted (Interface_RS485)");
        ShowActive(f.Shape3, f.Shape2);
        break;
    case 'u':
        f.Label33.SetCaption("PIN3->Unasserted (Interface_LAN)");
        ShowActive(f.Shape2, f.Shape3);
        break;
    }
}

} // namespace

void TMainForm::Button29Click() {
    RunCommand(*this, "set_pin1.txt");
}

void TMainForm::Button30Click() {
    RunCommand(*this, "clear_pin1.txt");
}

void TMainForm::Button31Click() {
    HexDisplay = 0;
    RunCommand(*this, "set_pin2.txt");
}

void TMainForm::Button32Click() {
    HexDisplay = 1;
    RunCommand(*this, "clear_pin2.txt");
}

void TMainForm::Button36Click() {
    RunCommand(*this, "set_pin3.txt");
}

void TMainForm::Button37Click() {
    RunCommand(*this, "clear_pin3.txt");
}

void TMainForm::Button9Click() {
    RunCommand(*this, "reboot.txt");
}

void TMainForm::ReadPinStatus() {
    RunCommand(*this, "RCI-queryGB.txt");
    ShowPinStatus(*this);
}

// One refresh only: the second disabling cancels what the status read's own reply
// enabled.
void TMainForm::Timer4Timer() {
    Timer4.SetEnabled(false);
    ReadPinStatus();
    Timer4.SetEnabled(false);
}

} // namespace tool
