#pragma once
// Port discovery and connection control: the serial port list, the two open/close
// toggles, the network port's events and the framing buttons. The handlers are
// members of TMainForm; these helpers are for every other path that changes a port.
//
// The rule the helpers keep: BitBtn4 and Label2 never show a closed serial port as
// open, BitBtn5 never shows a network port as open once it has closed itself. Any
// code that closes the serial port (reading the start-up file does) calls
// ShowSerialPortState afterwards. Window thread only.
#include <cstdint>
#include <string>

namespace tool {

class TMainForm;

// The serial port number of a ComboBox1 text: the first 9 characters (what the
// working area holds), the first three skipped, the rest converted as a decimal
// number and cut to 16 bits; "COM12" gives 12, a text without a number 0.
uint16_t ComNumberFromText(const std::string& text);

// Shows the serial port's state: Label2 "OPEN" and clLime with Label3, or "CLOSE" and
// clBtnFace; then BitBtn4's glyph ("BmpOK.bmp" or "BmpX.bmp", raising when the file
// is missing) and caption ("Aperta" or "Chiusa").
void ShowSerialPortState(TMainForm& f);

// Shows BitBtn5 as open ("BmpOK.bmp", "Aperta") or closed ("BmpX.bmp", "Chiusa").
void ShowNetworkPortState(TMainForm& f, bool open);

// The device behind each port of a ComPortList, for ComboBox1's hint:
// "COM3 = /dev/pts/5, COM17 = /dev/ttyUSB0"; "" for an empty list.
std::string ComPortDevices(const uint8_t list[100]);

} // namespace tool
