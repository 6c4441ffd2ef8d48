#!/usr/bin/python3
"""Reads registers from rvex-sim with pymodbus, for the peer tests.

usage: peer_pymodbus.py MODE TARGET SLAVE OP...
  MODE    tcp (Modbus TCP), rtu-tcp (RTU framing over TCP) or serial (RTU on a port)
  TARGET  the TCP port on 127.0.0.1, or the serial device
  OP      h:ADDRESS:COUNT  read holding registers (request address, as sent)
          i:ADDRESS:COUNT  read input registers
Prints one line per OP: "ok V1 V2 ...", "exception CODE" or "error TEXT".
"""
import sys

from pymodbus.client import ModbusSerialClient, ModbusTcpClient
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.framer.socket_framer import ModbusSocketFramer


def client_for(mode, target):
    if mode == "tcp":
        return ModbusTcpClient("127.0.0.1", port=int(target), framer=ModbusSocketFramer,
                               timeout=2, retries=0)
    if mode == "rtu-tcp":
        return ModbusTcpClient("127.0.0.1", port=int(target), framer=ModbusRtuFramer,
                               timeout=2, retries=0)
    return ModbusSerialClient(port=target, framer=ModbusRtuFramer, baudrate=19200,
                              bytesize=8, parity="N", stopbits=1, timeout=2, retries=0)


def main():
    mode, target, slave = sys.argv[1], sys.argv[2], int(sys.argv[3])
    client = client_for(mode, target)
    if not client.connect():
        print("error cannot connect")
        return 1
    for op in sys.argv[4:]:
        kind, address, count = op.split(":")
        read = client.read_holding_registers if kind == "h" else client.read_input_registers
        try:
            reply = read(int(address), int(count), slave=slave)
        except Exception as error:  # a timeout or a broken frame, reported as text
            print("error", type(error).__name__)
            continue
        if reply.isError():
            code = getattr(reply, "exception_code", None)
            print("exception", code) if code is not None else print("error", reply)
        else:
            print("ok", " ".join(str(v) for v in reply.registers))
    client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
