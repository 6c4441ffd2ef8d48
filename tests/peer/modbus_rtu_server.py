#!/usr/bin/python3
"""A Modbus RTU server of pymodbus on a serial port, for the peer tests.

usage: modbus_rtu_server.py PORT SLAVE ADDRESS=VALUE...
  PORT           the serial device (one end of a pty pair)
  SLAVE          the slave address it answers
  ADDRESS=VALUE  a holding register at a request address (as sent on the line)
Prints "ready" once the port is open, then serves until it is terminated.
"""
import asyncio
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.server.async_io import ModbusSerialServer


async def serve(port, slave, registers):
    values = [0] * 4096
    for address, value in registers.items():
        values[address] = value
    block = ModbusSequentialDataBlock(0, values)
    store = ModbusSlaveContext(hr=block, zero_mode=True)
    context = ModbusServerContext(slaves={slave: store}, single=False)
    server = ModbusSerialServer(context, framer=ModbusRtuFramer, port=port, baudrate=19200,
                                bytesize=8, parity="N", stopbits=1, timeout=0.05)
    await server.start()
    if server.transport is None:
        print("error cannot open", port, flush=True)
        return 1
    print("ready", flush=True)
    await server.serve_forever()
    return 0


def main():
    port, slave = sys.argv[1], int(sys.argv[2])
    registers = {}
    for item in sys.argv[3:]:
        address, value = item.split("=")
        registers[int(address)] = int(value)
    return asyncio.run(serve(port, slave, registers))


if __name__ == "__main__":
    sys.exit(main())
