#pragma once
// Modbus Read Holding Registers requests (function code 3): the CRC-16, the RTU and
// Modbus TCP frames, and their writing to the open ports. These are the only
// producers of Modbus requests; the polling tick and the manual read call them.
//
// RTU frame, 8 bytes:  slave, 0x03, start hi, start lo, 0x00, quantity lo, CRC lo, CRC hi
// Modbus TCP, 12 bytes: transaction hi, lo, 0x00 0x00, 0x00 0x06, slave, 0x03,
//                       start hi, start lo, 0x00, quantity lo
// Only the low 8 bits of the quantity go out; nothing is validated.
//
// Window thread only (they touch the form's state and the ports).
#include "tool/Readings.h"

#include <cstdint>

namespace tool {

class TMainForm;

// The two halves of the table-driven Modbus CRC, as published with the serial line
// standard (high-order bytes, low-order bytes).
extern const uint8_t CrcTableHi[256];
extern const uint8_t CrcTableLo[256];

// CRC-16/MODBUS of length bytes; the low-order byte is transmitted first.
uint16_t ModbusCrc16(const uint8_t* data, uint16_t length);

struct TModbusFrame {
    uint8_t Bytes[30] = {};
    uint16_t Length = 0; // 8 for RTU, 12 for Modbus TCP, 0 for "nothing to send"
};

// A request in the framing that modbusTcp selects (1: Modbus TCP, else RTU). In
// Modbus TCP the low 16 bits of transactionCounter are the transaction identifier and
// the counter then grows by one.
TModbusFrame BuildReadRequest(uint32_t modbusTcp, uint32_t& transactionCounter, uint8_t slave,
                              uint16_t start, uint16_t quantity);
// The same on the form's ModbusTcp and TransactionCounter.
TModbusFrame BuildReadRequest(TMainForm& f, uint8_t slave, uint16_t start, uint16_t quantity);

// Writes the frame's first length bytes (through TxText, which is cleared before and
// after) to every open port, serial first, lights each such port's TXD lamp, writes
// the status text "    Interrogazione MODBUS" and sets HexDisplay to 1 so that the
// reply is decoded as Modbus. A length of 0 writes nothing and lights the lamps all
// the same. A port's write error propagates and ends it at that step.
void SendRequest(TMainForm& f, const uint8_t* frame, uint16_t length);
inline void SendRequest(TMainForm& f, const TModbusFrame& frame) {
    SendRequest(f, frame.Bytes, frame.Length);
}
// The same for a read whose value `asked` describes (Readings.h): when the frame is
// not empty and a port is open, the request then waits for its reply (Exchanges.h),
// also when a write fails, so that a port that has gone away shows "no reply".
void SendRequest(TMainForm& f, const TModbusFrame& frame, TReading asked);

} // namespace tool
