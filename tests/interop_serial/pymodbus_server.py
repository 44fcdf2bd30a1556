#!/usr/bin/python3
"""A pymodbus serial server (RTU or ASCII) on a pty, as a peer for the tests.

Makes two pty pairs and relays bytes between their masters: pymodbus serves
on one slave device, the other is linked as LINK (for example DIR/COM1) for
the client under test. Prints "READY <client pty>" once the server runs and
ends at the end of standard input.

usage: pymodbus_server.py rtu|ascii SLAVE LINK

Memory, all zero-based: coil i is on when i % 3 == 0; discrete input i when
i % 2 == 1; input register i is 1000 + i; holding register i is 2 * i + 7.
"""
import asyncio
import logging
import os
import select
import sys
import threading
import tty

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartAsyncSerialServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer

POINTS = 2000


def relay(a, b, stop):
    """Copies bytes both ways between two pty masters until stop is set."""
    while not stop.is_set():
        ready, _, _ = select.select([a, b], [], [], 0.1)
        for fd in ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                continue
            os.write(b if fd == a else a, data)


def make_pair():
    master, slave = os.openpty()
    tty.setraw(master)
    tty.setraw(slave)
    return master, slave, os.ttyname(slave)


async def serve(kind, slave_id, server_path):
    # pymodbus addresses its blocks one past the PDU address.
    store = ModbusSlaveContext(
        co=ModbusSequentialDataBlock(1, [1 if i % 3 == 0 else 0 for i in range(POINTS)]),
        di=ModbusSequentialDataBlock(1, [1 if i % 2 == 1 else 0 for i in range(POINTS)]),
        ir=ModbusSequentialDataBlock(1, [1000 + i for i in range(POINTS)]),
        hr=ModbusSequentialDataBlock(1, [2 * i + 7 for i in range(POINTS)]),
        zero_mode=False)
    context = ModbusServerContext(slaves={slave_id: store}, single=False)
    framer = ModbusRtuFramer if kind == "rtu" else ModbusAsciiFramer
    server = await StartAsyncSerialServer(context=context, framer=framer, port=server_path,
                                          baudrate=38400, bytesize=8, parity="N",
                                          stopbits=1, timeout=0.005, defer_start=True)
    await server.start()
    return server


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("rtu", "ascii"):
        print(__doc__, file=sys.stderr)
        return 2
    logging.disable(logging.CRITICAL)
    kind, slave_id, link = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    client_master, client_slave, client_path = make_pair()
    server_master, server_slave, server_path = make_pair()
    stop = threading.Event()
    thread = threading.Thread(target=relay, args=(client_master, server_master, stop), daemon=True)
    thread.start()
    if os.path.islink(link):
        os.unlink(link)
    os.symlink(client_path, link)

    loop = asyncio.new_event_loop()
    server = loop.run_until_complete(serve(kind, slave_id, server_path))
    print("READY", client_path, flush=True)

    # Standard input closing ends the server.
    async def wait_stdin():
        await loop.run_in_executor(None, sys.stdin.read)
    loop.run_until_complete(wait_stdin())
    stop.set()
    thread.join()
    try:
        loop.run_until_complete(server.shutdown())
    except Exception:  # pylint: disable=broad-except
        pass
    os.unlink(link)
    return 0


if __name__ == "__main__":
    sys.exit(main())
