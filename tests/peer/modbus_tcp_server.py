#!/usr/bin/python3
"""A Modbus TCP server of pymodbus on 127.0.0.1, for the network port's peer test.

usage: modbus_tcp_server.py PORT SECONDS
Unit 10 holds two MODE_32 values with three decimals, 12345.678 at request address
1467 and 8000.111 at 1471 (registers 1468 and 1472 of the tables); every other holding
register is 0. The server
ends by itself after SECONDS.
"""
import os
import sys
import threading

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartTcpServer


def main():
    port, seconds = int(sys.argv[1]), float(sys.argv[2])
    registers = [0] * 2000
    # MODE_32: high word, low word, decimals; pymodbus addresses its blocks from 1.
    registers[1468:1471] = [0x00BC, 0x614E, 3]
    registers[1472:1475] = [0x007A, 0x126F, 3]
    unit = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, registers), zero_mode=False)
    context = ModbusServerContext(slaves={10: unit}, single=False)
    threading.Timer(seconds, lambda: os._exit(0)).start()
    print("ready", flush=True)
    StartTcpServer(context=context, address=("127.0.0.1", port))


if __name__ == "__main__":
    sys.exit(main())
