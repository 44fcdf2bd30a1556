#!/usr/bin/python3
"""Real Modbus masters against our serial simulator: the pymodbus serial
client (RTU and ASCII, functions 1 to 6, 15, 16 and an exception reply),
requests of functions 20 and 21 framed by pymodbus's CRC and LRC helpers,
and mbpoll (RTU, functions 3 and 16).

usage: master_against_sim.py SIMULATOR
Exits 0 when every check passed, 1 otherwise (each failure is printed).
"""
import logging
import os
import select
import shutil
import subprocess
import sys
import tempfile

import serial
from pymodbus.client import ModbusSerialClient
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer
from pymodbus.utilities import computeCRC, computeLRC

SLAVE = 3
# The optional masters the build found (INTEROP_PEERS, blank-separated); unset: all.
PEERS = os.environ.get("INTEROP_PEERS", "mbpoll").split()
failures = []
checks = []


def check(name, got, want):
    checks.append(name)
    if got != want:
        failures.append(f"{name}: got {got!r}, want {want!r}")
        print("FAIL", failures[-1], flush=True)


class Sim:
    """Our simulator as a child process, driven through its standard input."""

    def __init__(self, binary, framing, link):
        self.proc = subprocess.Popen(
            [binary, "--" + framing, "--slave", str(SLAVE), "--baud", "38400", "--link", link],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self.line()
        if not line.startswith("READY"):
            raise RuntimeError("simulator did not start: " + line)

    def line(self, timeout=5.0):
        ready, _, _ = select.select([self.proc.stdout], [], [], timeout)
        if not ready:
            raise RuntimeError("simulator did not answer")
        return self.proc.stdout.readline().strip()

    def command(self, text):
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()
        return self.line()

    def stop(self):
        try:
            self.proc.stdin.write("quit\n")
            self.proc.stdin.close()
            self.proc.wait(timeout=5)
        except Exception:  # pylint: disable=broad-except
            self.proc.kill()
            self.proc.wait()


def pymodbus_checks(sim, framing, link):
    framer = ModbusRtuFramer if framing == "rtu" else ModbusAsciiFramer
    client = ModbusSerialClient(port=link, framer=framer, baudrate=38400, bytesize=8,
                                parity="N", stopbits=1, timeout=1, retries=1)
    if not client.connect():
        failures.append(f"{framing}: pymodbus client cannot open {link}")
        return
    try:
        tag = "pymodbus " + framing
        sim.command("set 4x 1 11 22 33")
        r = client.read_holding_registers(0, 3, slave=SLAVE)
        check(tag + " fc3", getattr(r, "registers", r), [11, 22, 33])
        sim.command("set 3x 5 500 600")
        r = client.read_input_registers(4, 2, slave=SLAVE)
        check(tag + " fc4", getattr(r, "registers", r), [500, 600])
        sim.command("set 0x 1 1 0 1")
        r = client.read_coils(0, 3, slave=SLAVE)
        check(tag + " fc1", getattr(r, "bits", r)[:3], [True, False, True])
        sim.command("set 1x 1 0 1 1")
        r = client.read_discrete_inputs(0, 3, slave=SLAVE)
        check(tag + " fc2", getattr(r, "bits", r)[:3], [False, True, True])
        client.write_register(9, 4660, slave=SLAVE)
        check(tag + " fc6", sim.command("get 4x 10 1"), "OK 4660")
        client.write_registers(19, [1, 65535, 3], slave=SLAVE)
        check(tag + " fc16", sim.command("get 4x 20 3"), "OK 1 65535 3")
        client.write_coil(29, True, slave=SLAVE)
        check(tag + " fc5", sim.command("get 0x 30 1"), "OK 1")
        client.write_coils(39, [True, False, True, True, False, False, False, False, True],
                           slave=SLAVE)
        check(tag + " fc15", sim.command("get 0x 40 9"), "OK 1 0 1 1 0 0 0 0 1")
        r = client.read_holding_registers(60000, 2, slave=SLAVE)
        check(tag + " exception", (r.isError(), getattr(r, "exception_code", None)), (True, 2))
    finally:
        client.close()
    file_record_checks(sim, framing, link)


def raw_transaction(framing, link, pdu):
    """Sends one request PDU framed by pymodbus's own CRC and LRC helpers and
    returns the reply PDU (b"" when none or badly framed). The pymodbus 3.0
    client cannot frame the replies of functions 20 and 21 itself."""
    frame_in = bytes([SLAVE]) + pdu
    with serial.Serial(link, 38400, timeout=0.5) as port:
        if framing == "rtu":
            port.write(frame_in + computeCRC(frame_in).to_bytes(2, "big"))
            reply = port.read(300)
            if len(reply) < 4 or computeCRC(reply[:-2]).to_bytes(2, "big") != reply[-2:]:
                return b""
            return reply[1:-2]
        text = frame_in.hex().upper().encode() + b"%02X" % computeLRC(frame_in)
        port.write(b":" + text + b"\r\n")
        reply = port.read_until(b"\n", 600).strip()
        if not reply.startswith(b":"):
            return b""
        data = bytes.fromhex(reply[1:].decode())
        if computeLRC(data[:-1]) != data[-1]:
            return b""
        return data[1:-1]


def file_record_checks(sim, framing, link):
    tag = "raw " + framing
    # Function 21: file 2, record 7, two words; the reply is the echo.
    request = bytes([21, 11, 6, 0, 2, 0, 7, 0, 2, 0, 5, 0xFF, 0xFF])
    check(tag + " fc21", raw_transaction(framing, link, request), request)
    check(tag + " fc21 memory", sim.command("get 6x 2 7 2"), "OK 5 65535")
    # Function 20: file 1, record 0, three words.
    sim.command("set 6x 1 0 9 8 7")
    reply = raw_transaction(framing, link, bytes([20, 7, 6, 0, 1, 0, 0, 0, 3]))
    check(tag + " fc20", reply, bytes([20, 8, 7, 6, 0, 9, 0, 8, 0, 7]))
    # Function 21 with reference type 3 writes input registers (file 0, record = register - 1).
    request = bytes([21, 9, 3, 0, 0, 0, 4, 0, 1, 0x12, 0x34])
    check(tag + " fc21 type 3", raw_transaction(framing, link, request), request)
    check(tag + " fc21 type 3 memory", sim.command("get 3x 5 1"), "OK 4660")


def mbpoll_checks(sim, link):
    mbpoll = shutil.which("mbpoll")
    if not mbpoll:
        failures.append("mbpoll is not installed")
        return
    base = [mbpoll, "-m", "rtu", "-a", str(SLAVE), "-b", "38400", "-P", "none", "-o", "1",
            "-0", "-1"]
    sim.command("set 4x 101 7 8 9")
    out = subprocess.run(base + ["-t", "4", "-r", "100", "-c", "3", link],
                         capture_output=True, text=True, timeout=20).stdout
    values = [line.split()[1] for line in out.splitlines() if line.startswith("[")]
    check("mbpoll fc3", values, ["7", "8", "9"])
    subprocess.run(base + ["-t", "4", "-r", "200", link, "41", "42"],
                   capture_output=True, text=True, timeout=20)
    check("mbpoll fc16", sim.command("get 4x 201 2"), "OK 41 42")


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    logging.disable(logging.CRITICAL)
    with tempfile.TemporaryDirectory() as tmp:
        for framing in ("rtu", "ascii"):
            link = os.path.join(tmp, "COM1")
            sim = Sim(sys.argv[1], framing, link)
            try:
                pymodbus_checks(sim, framing, link)
                if framing == "rtu" and "mbpoll" in PEERS:
                    mbpoll_checks(sim, link)
            except Exception as error:  # pylint: disable=broad-except
                failures.append(f"{framing}: {error}")
            finally:
                sim.stop()
    print("CHECKS:", len(checks), "FAILURES:", len(failures))
    return 1 if failures or not checks else 0


if __name__ == "__main__":
    sys.exit(main())
