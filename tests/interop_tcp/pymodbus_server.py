#!/usr/bin/python3
"""A pymodbus 3.0 slave on 127.0.0.1 for the interoperability tests.

Usage: pymodbus_server.py tcp|rtu
Serves Modbus TCP, or RTU frames over TCP with pymodbus's RTU framer, on a free
loopback port, prints "READY <port>" and runs until standard input ends.
Holding register n (1-based) starts as (7 * n) & 0xFFFF, input register n as
n + 1000, coil n as n % 3 == 0, discrete input n as n % 2 == 0.
"""
import asyncio
import logging
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.framer.socket_framer import ModbusSocketFramer
from pymodbus.server.async_io import ModbusTcpServer

POINTS = 10000


def make_context():
    # Without zero mode pymodbus stores reference n at block index n.
    coils = [0] + [1 if n % 3 == 0 else 0 for n in range(1, POINTS + 1)]
    inputs = [0] + [1 if n % 2 == 0 else 0 for n in range(1, POINTS + 1)]
    holding = [0] + [(7 * n) & 0xFFFF for n in range(1, POINTS + 1)]
    input_regs = [0] + [n + 1000 for n in range(1, POINTS + 1)]
    slave = ModbusSlaveContext(
        co=ModbusSequentialDataBlock(0, coils),
        di=ModbusSequentialDataBlock(0, inputs),
        hr=ModbusSequentialDataBlock(0, holding),
        ir=ModbusSequentialDataBlock(0, input_regs))
    return ModbusServerContext(slaves=slave, single=True)


async def main(mode):
    framer = ModbusRtuFramer if mode == "rtu" else ModbusSocketFramer
    server = ModbusTcpServer(make_context(), framer, address=("127.0.0.1", 0))
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    port = server.server.sockets[0].getsockname()[1]
    print(f"READY {port}", flush=True)
    loop = asyncio.get_running_loop()
    # Standard input ending (the test finished or died) stops the server.
    while await loop.run_in_executor(None, sys.stdin.readline):
        pass
    await server.shutdown()
    task.cancel()


if __name__ == "__main__":
    logging.disable(logging.CRITICAL)
    if len(sys.argv) != 2 or sys.argv[1] not in ("tcp", "rtu"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    asyncio.run(main(sys.argv[1]))
