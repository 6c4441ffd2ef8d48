#pragma once
// The manual interrogation of the "Monitor e Config" page: "Poll" (Button47Click)
// makes the next poll tick, 100 ms later, read one register block whose start
// address, type and slave come from ComboBox2 (+ the offset of Edit11, - 1),
// ComboBox4 and Edit10; the value lands in Edit20. Window thread only.
#include "tool/ModbusFrame.h"
#include "tool/Readings.h"

namespace tool {

class TMainForm;

// The register quantity read for a type letter: c 6, d 4, i 1, l 2, h 1, M 4, else 0.
uint16_t ManualQuantity(char type);

// The manual branch of the poll tick up to the frame: sets ValueType from ComboBox4
// and builds the request (one transaction identifier in Modbus TCP).
TModbusFrame BuildManualRequest(TMainForm& f);

// What the manual read asks for: the address as ComboBox2 gives it, the type letter of
// ComboBox4 and its quantity.
TReading DescribeManualRead(const TMainForm& f);

} // namespace tool
