#!/usr/bin/python3
"""Masters nobody here wrote against our simulator: a pymodbus 3.0 client (Modbus
TCP, and its RTU framer over TCP), mbpoll over Modbus TCP, and mbpoll in RTU
mode on a pty that socat bridges to the RTU-over-TCP simulator.

Usage: masters_test.py PATH/TO/modbustcpsim
Each check's outcome is printed; the last line is "N passed, N failed".
"""
import logging
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from pymodbus.client import ModbusTcpClient
from pymodbus.file_message import (FileRecord, ReadFileRecordRequest,
                                   WriteFileRecordRequest)
from pymodbus.framer.rtu_framer import ModbusRtuFramer

SIM = sys.argv[1] if len(sys.argv) > 1 else ""
# The optional peers the build found (INTEROP_PEERS, blank-separated); unset: all.
PEERS = os.environ.get("INTEROP_PEERS", "mbpoll socat").split()
RESULTS = {"passed": 0, "failed": 0}


def check(name, ok, detail=""):
    RESULTS["passed" if ok else "failed"] += 1
    print(f"{'ok  ' if ok else 'FAIL'} {name}" + (f": {detail}" if detail and not ok else ""),
          flush=True)


class Sim:
    """modbustcpsim under our control: its standard input carries commands."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([SIM, *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("READY "):
            self.stop()
            raise RuntimeError(f"simulator did not start: {line!r}")
        self.port = int(line.split()[1])

    def cmd(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        return self.proc.stdout.readline().strip()

    def values(self, line):
        answer = self.cmd(line)
        return [int(v) for v in answer.split()[1:]] if answer.startswith("OK") else answer

    def stop(self):
        try:
            self.proc.stdin.close()
            self.proc.wait(timeout=10)
        except Exception:  # pylint: disable=broad-except
            self.proc.kill()
            self.proc.wait()


def pymodbus_checks(sim, tag, framer=None):
    kwargs = {"framer": framer} if framer else {}
    client = ModbusTcpClient("127.0.0.1", port=sim.port, timeout=3, **kwargs)
    if not client.connect():
        check(f"{tag} connect", False)
        return
    try:
        sim.cmd("set 4x 1 100 200 300")
        rr = client.read_holding_registers(0, 3, slave=1)
        check(f"{tag} read holding", not rr.isError() and rr.registers == [100, 200, 300], rr)
        client.write_registers(9, [7, 8, 9], slave=1)
        check(f"{tag} write registers", sim.values("get 4x 10 3") == [7, 8, 9])
        client.write_register(19, 0xBEEF, slave=1)
        check(f"{tag} write register", sim.values("get 4x 20 1") == [0xBEEF])
        sim.cmd("set 0x 1 1 0 1 1")
        rr = client.read_coils(0, 4, slave=1)
        check(f"{tag} read coils", not rr.isError() and rr.bits[:4] == [True, False, True, True], rr)
        client.write_coils(30, [True, False, True], slave=1)
        check(f"{tag} write coils", sim.values("get 0x 31 3") == [1, 0, 1])
        client.write_coil(40, True, slave=1)
        check(f"{tag} write coil", sim.values("get 0x 41 1") == [1])
        sim.cmd("set 1x 5 1")
        rr = client.read_discrete_inputs(4, 1, slave=1)
        check(f"{tag} read inputs", not rr.isError() and rr.bits[0] is True, rr)
        sim.cmd("set 3x 3 4242")
        rr = client.read_input_registers(2, 1, slave=1)
        check(f"{tag} read input registers", not rr.isError() and rr.registers == [4242], rr)
        rr = client.read_holding_registers(9999, 2, slave=1)
        check(f"{tag} exception 2", rr.isError() and getattr(rr, "exception_code", 0) == 2, rr)
        # File records, reference type 6.
        sim.cmd("set 6x 2 10 11 12")
        rq = ReadFileRecordRequest([FileRecord(file_number=2, record_number=10, record_length=2)],
                                   unit=1)
        rr = client.execute(rq)
        ok = not rr.isError() and len(rr.records) == 1 and rr.records[0].record_data == b"\x00\x0b\x00\x0c"
        check(f"{tag} read file record", ok, rr)
        rq = WriteFileRecordRequest([FileRecord(file_number=3, record_number=5,
                                                record_data=b"\x12\x34\x56\x78")], unit=1)
        rr = client.execute(rq)
        check(f"{tag} write file record",
              not rr.isError() and sim.values("get 6x 3 5 2") == [0x1234, 0x5678], rr)
    finally:
        client.close()


def mbpoll(*args):
    out = subprocess.run(["mbpoll", "-1", "-o", "2", *args], capture_output=True, text=True,
                         timeout=30, check=False)
    return out.returncode, out.stdout + out.stderr


def polled(text):
    return [int(v) for v in re.findall(r"^\[\d+\]:\s+(-?\d+)", text, re.M)]


def mbpoll_checks(sim, tag, target):
    sim.cmd("set 4x 5 11 22 33")
    rc, out = mbpoll(*target, "-t", "4", "-r", "5", "-c", "3")
    check(f"{tag} read holding", rc == 0 and polled(out) == [11, 22, 33], out)
    rc, out = mbpoll(*target, "-t", "4", "-r", "50", "--", "5", "6")
    check(f"{tag} write registers", rc == 0 and sim.values("get 4x 50 2") == [5, 6], out)
    sim.cmd("set 3x 7 99")
    rc, out = mbpoll(*target, "-t", "3", "-r", "7", "-c", "1")
    check(f"{tag} read input registers", rc == 0 and polled(out) == [99], out)
    sim.cmd("set 0x 8 1 0 1")
    rc, out = mbpoll(*target, "-t", "0", "-r", "8", "-c", "3")
    check(f"{tag} read coils", rc == 0 and polled(out) == [1, 0, 1], out)
    rc, out = mbpoll(*target, "-t", "0", "-r", "70", "--", "1", "1", "0", "1")
    check(f"{tag} write coils", rc == 0 and sim.values("get 0x 70 4") == [1, 1, 0, 1], out)
    sim.cmd("set 1x 3 1")
    rc, out = mbpoll(*target, "-t", "1", "-r", "3", "-c", "1")
    check(f"{tag} read inputs", rc == 0 and polled(out) == [1], out)


def mbpoll_rtu_over_socat(sim):
    """mbpoll speaks RTU on a serial line only: socat joins a pty to the TCP port."""
    if not shutil.which("socat"):
        check("mbpoll rtu: socat present", False)
        return
    with tempfile.TemporaryDirectory() as tmp:
        link = os.path.join(tmp, "tty")
        bridge = subprocess.Popen(["socat", f"PTY,link={link},raw,echo=0",
                                   f"TCP:127.0.0.1:{sim.port}"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for _ in range(200):
                if os.path.exists(link):
                    break
                time.sleep(0.01)
            check("socat pty bridge", os.path.exists(link))
            mbpoll_checks(sim, "mbpoll rtu", ["-m", "rtu", "-b", "19200", "-P", "none", link])
        finally:
            bridge.terminate()
            bridge.wait(timeout=10)


def main():
    logging.disable(logging.CRITICAL)
    if not SIM or not os.access(SIM, os.X_OK):
        print(__doc__)
        return 2
    tcp = Sim()
    try:
        pymodbus_checks(tcp, "pymodbus tcp")
        if "mbpoll" in PEERS:
            mbpoll_checks(tcp, "mbpoll tcp", ["-m", "tcp", "-p", str(tcp.port), "127.0.0.1"])
    finally:
        tcp.stop()
    rtu = Sim("--rtu")
    try:
        pymodbus_checks(rtu, "pymodbus rtu-over-tcp", ModbusRtuFramer)
        if "mbpoll" in PEERS and "socat" in PEERS:
            mbpoll_rtu_over_socat(rtu)
    finally:
        rtu.stop()
    print(f"{RESULTS['passed']} passed, {RESULTS['failed']} failed")
    return 1 if RESULTS["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
