#!/usr/bin/env python3
"""Serial links from Windows to our Linux simulators, under wine.

Makes a wine prefix of its own, maps COM1 and COM12 in the wine registry to
symlinks that the simulators point at their ptys (symaxsim on COM1, the Modbus
serial simulator on COM12, so a port above COM9 is used too), and runs the
dialogues of com_check.exe through them:

- Sy/Max reads and writes through COM1, checked in the simulator's memory;
- Modbus RTU reads and writes through COM12, the same way;
- one RTU request by hand on the bare port: write reported, reply bytes as
  they arrive, then the quiet line;
- a COM port mapped to nothing does not open;
- killing the simulator under an open port is reported as a hang-up.

Every process started is ended, the wine server of the prefix is stopped and
the prefix removed at the end.
"""
import argparse
import os
import select
import shutil
import signal
import subprocess
import sys
import time

failures = []


def check(ok, what):
    print(("ok " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


class Sim:
    """A simulator on a pty, answering one text command line per line."""

    def __init__(self, argv):
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, bufsize=1)
        line = self.line(10)
        if not line.startswith("READY"):
            self.stop()
            raise RuntimeError("%s did not start: %r" % (argv[0], line))

    def line(self, seconds):
        ready, _, _ = select.select([self.proc.stdout], [], [], seconds)
        return self.proc.stdout.readline().strip() if ready else ""

    def command(self, text):
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()
        return self.line(10)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(10)

    def stop(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.close()
                self.proc.wait(10)
            except (OSError, subprocess.TimeoutExpired):
                pass
        self.kill()


class Wine:
    """Programs run in the prefix. Their output goes to files, never to pipes:
    the services wine starts with the first program after a server start
    inherit its descriptors and live on, so a pipe would never end."""

    def __init__(self, wine, wineserver, prefix, work):
        self.wine, self.wineserver, self.work = wine, wineserver, work
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.runs = 0

    def start(self, args):
        """Starts a program; returns the process and the path of its output."""
        self.runs += 1
        path = os.path.join(self.work, "run%d.out" % self.runs)
        with open(path, "w") as out:
            proc = subprocess.Popen([self.wine] + args, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=subprocess.STDOUT)
        return proc, path

    def run(self, args, seconds):
        proc, path = self.start(args)
        try:
            code = proc.wait(seconds)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(10)
            print("timed out: " + " ".join(args))
            code = 124
        with open(path) as f:
            return subprocess.CompletedProcess(args, code, f.read(), "")

    def server_start(self):
        # On its own, with no descriptors of ours; it lingers 10 s after its
        # last program rather than 3, and -k ends it in any case.
        subprocess.run([self.wineserver, "-p10"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def server_stop(self):
        subprocess.run([self.wineserver, "-k"], env=self.env, capture_output=True, timeout=60)
        subprocess.run([self.wineserver, "-w"], env=self.env, capture_output=True, timeout=60)


def run_check(wine, exe, args, seconds=120):
    r = wine.run([exe] + args, seconds)
    sys.stdout.write(r.stdout)
    return r


def dialogues(wine, exe, work, symaxsim, modbussim):
    com1, com12 = os.path.join(work, "COM1"), os.path.join(work, "COM12")

    sym = Sim([symaxsim, "--link", com1, "--baud", "9600"])
    try:
        check(sym.command("set 100 11 22 33").startswith("OK"), "symaxsim registers set")
        r = run_check(wine, exe, ["symax", "COM1:", "100", "11", "22", "33"])
        check(r.returncode == 0, "Sy/Max dialogue through COM1")
        check(sym.command("get 100 3") == "OK 12 23 34", "Sy/Max writes reached the simulator")
    finally:
        sym.stop()

    mb = Sim([modbussim, "--rtu", "--slave", "7", "--baud", "9600", "--link", com12])
    try:
        check(mb.command("set 4x 200 7 8 9 10").startswith("OK"), "Modbus registers set")
        r = run_check(wine, exe, ["rtu", "com12:", "7", "200", "7", "8", "9", "10"])
        check(r.returncode == 0, "Modbus RTU dialogue through COM12")
        check(mb.command("get 4x 200 4") == "OK 8 9 10 11", "Modbus writes reached the simulator")
        r = run_check(wine, exe, ["raw-rtu", "COM12", "7", "200", "4"])
        check(r.returncode == 0, "bare port: RTU request and reply on COM12")
        values = [l.split()[1] for l in r.stdout.splitlines() if l.startswith("value ")]
        check(values == ["8", "9", "10", "11"], "bare port: reply values")
    finally:
        mb.stop()

    r = run_check(wine, exe, ["no-port", "COM7:"])
    check(r.returncode == 0, "a COM port mapped to nothing")

    sym = Sim([symaxsim, "--link", com1, "--baud", "9600"])
    proc, path = wine.start([exe, "hangup", "COM1:"])
    try:
        opened = False
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and proc.poll() is None and not opened:
            time.sleep(0.2)
            with open(path) as f:
                opened = "OPEN\n" in f.read()
        check(opened, "hang-up dialogue: port open")
        sym.kill()
        try:
            proc.wait(60)
        except subprocess.TimeoutExpired:
            pass
        with open(path) as f:
            sys.stdout.write(f.read())
        check(proc.returncode == 0, "killing the simulator is seen as a hang-up")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait(10)
        sym.stop()


def main():
    ap = argparse.ArgumentParser()
    for a in ("wine", "wineserver", "check", "symaxsim", "modbussim", "work"):
        ap.add_argument("--" + a, required=True)
    o = ap.parse_args()
    for path in (o.check, o.symaxsim, o.modbussim):
        if not os.path.exists(path):
            print("missing " + path)
            return 1
    work = os.path.abspath(o.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    prefix = os.path.join(work, "prefix")
    wine = Wine(o.wine, o.wineserver, prefix, work)
    try:
        wine.server_start()
        r = wine.run(["wineboot", "-i"], 300)
        check(r.returncode == 0, "wine prefix made")
        for n in (1, 7, 12):
            r = wine.run(["reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "COM%d" % n, "/d",
                          os.path.join(work, "COM%d" % n), "/f"], 60)
            check(r.returncode == 0, "COM%d mapped" % n)
        # The mapping is read when the server starts again.
        wine.server_stop()
        wine.server_start()
        dialogues(wine, o.check, work, o.symaxsim, o.modbussim)
    finally:
        wine.server_stop()
        shutil.rmtree(work, ignore_errors=True)
    print("%d failed" % len(failures) if failures else "all passed", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
