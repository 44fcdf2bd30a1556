"""Drives VRX740SW in a real pseudo-terminal against the simulators.

The program runs on the slave side of a pty of 25 rows by 80 columns in a
working directory the test chose; what it writes is fed to a pyte screen, keys
are written as a terminal sends them. Simulators (vrx740sim, symaxsim) run as
child processes linked as COMn in that directory; they print "READY ..." and
answer one line per command on standard input. Every process started here is
stopped by its own object (by pid), and every wait has a time limit.

    import harness
    with harness.Workdir() as wd:
        harness.write_setup(wd.path, baud=19200)
        with harness.ModuleSim(wd.path) as sim, harness.Vrx740(wd.path) as prog:
            prog.wait_text(1, 17, "VRX740 MAINTENANCE")
            prog.send("q")
            assert prog.finish() == 0
"""
import fcntl
import os
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import termios
import time
import unittest

import pyte

KEYS = {
    "up": b"\x1b[A", "down": b"\x1b[B", "right": b"\x1b[C", "left": b"\x1b[D",
    "home": b"\x1b[H", "end": b"\x1b[F", "pgup": b"\x1b[5~", "pgdn": b"\x1b[6~",
    "enter": b"\r", "esc": b"\x1b", "del": b"\x1b[3~", "bksp": b"\x7f", "tab": b"\t",
    "f1": b"\x1bOP", "f2": b"\x1bOQ", "f10": b"\x1b[21~",
}

# Generous limits: the tests also run under the sanitizers.
WAIT = float(os.environ.get("VRX740_E2E_WAIT", "30"))

# Baud rate index of the setup record for a rate.
BAUD_RATES = [50, 75, 110, 135, 150, 300, 600, 1200, 1800, 2400, 3600, 4800,
              7200, 9600, 14400, 19200]

PROGRAM = os.environ.get("VRX740SW")
MODULE_SIM = os.environ.get("VRX740SIM")
SYMAX_SIM = os.environ.get("SYMAXSIM")


def need_module_sim(cls):
    """Class decorator: skip the tests when the module simulator is not built."""
    if not PROGRAM or not MODULE_SIM:
        return unittest.skip("VRX740SW or VRX740SIM not set")(cls)
    return cls


def need_symax_sim(cls):
    """Class decorator: skip the tests when the Sy/Max simulator is not built."""
    if not PROGRAM or not SYMAX_SIM:
        return unittest.skip("VRX740SW or SYMAXSIM not set")(cls)
    return cls


class Workdir:
    """A fresh working directory, removed at the end."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="vrx740e2e-")

    def file(self, name):
        return os.path.join(self.path, name)

    def close(self):
        shutil.rmtree(self.path, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def setup_bytes(connection=1, port=0, base=0, baud=19200, data_bits=1, stop_bits=0,
                parity=1, route=(), synet_speed=0, synet_size=0, plc_port=False,
                rack=1):
    """The 40 bytes of a setup file: twenty little-endian words. baud is a
    rate from BAUD_RATES (or an index below 16)."""
    index = BAUD_RATES.index(baud) if baud >= 16 else baud
    drops = list(route) + [0] * (8 - len(route))
    words = [connection, port, base, index, data_bits, stop_bits, parity, len(route)]
    words += drops[:8] + [synet_speed, synet_size, 1 if plc_port else 0, rack]
    return struct.pack("<20H", *words)


def write_setup(directory, **fields):
    """Writes VRX740SW.STP in directory (fields as for setup_bytes)."""
    path = os.path.join(directory, "VRX740SW.STP")
    with open(path, "wb") as f:
        f.write(setup_bytes(**fields))
    return path


def read_setup(directory):
    """The twenty words of the setup file in directory."""
    with open(os.path.join(directory, "VRX740SW.STP"), "rb") as f:
        data = f.read()
    if len(data) != 40:
        raise AssertionError("setup file holds %d bytes" % len(data))
    return list(struct.unpack("<20H", data))


class LineChild:
    """A child process spoken to in lines over pipes."""

    def __init__(self, argv, cwd):
        self.errfile = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self.errfile)
        self.buf = b""

    def readline(self, timeout=WAIT):
        deadline = time.monotonic() + timeout
        fd = self.proc.stdout.fileno()
        while b"\n" not in self.buf:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("no line from %s" % self.proc.args[0])
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 4096)
                if not chunk:
                    self.errfile.seek(0)
                    raise EOFError("%s ended: %s" % (self.proc.args[0],
                                                     self.errfile.read().decode(errors="replace")))
                self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return line.decode()

    def stop(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.close()
            except OSError:
                pass
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=5)
        self.proc.stdout.close()
        self.errfile.close()


class Sim(LineChild):
    """A simulator: READY line first, then one answer line per command."""

    def __init__(self, argv, cwd):
        super().__init__(argv, cwd)
        try:
            line = self.readline()
        except Exception:
            self.stop()
            raise
        if not line.startswith("READY"):
            self.stop()
            raise RuntimeError("simulator said %r" % line)
        self.ready = line.split()[1] if len(line.split()) > 1 else ""

    def cmd(self, line):
        """Sends one command; the words after OK (raises on ERR)."""
        self.proc.stdin.write((line + "\n").encode())
        self.proc.stdin.flush()
        answer = self.readline()
        if not answer.startswith("OK"):
            raise RuntimeError("%r answered %r" % (line, answer))
        return answer[2:].split()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class ModuleSim(Sim):
    """vrx740sim linked as <directory>/COMn. Extra options (for example
    ["--plc", "1001"] or ["--state", path]) go after the link and baud."""

    def __init__(self, directory, port=1, baud=19200, extra=(), exe=None):
        argv = [exe or MODULE_SIM, "--link", os.path.join(directory, "COM%d" % port),
                "--baud", str(baud)] + list(extra)
        super().__init__(argv, directory)


class SymaxSim(Sim):
    """symaxsim (a plain Sy/Max register slave) linked as <directory>/COMn."""

    def __init__(self, directory, port=1, baud=19200, extra=(), exe=None):
        argv = [exe or SYMAX_SIM, "--link", os.path.join(directory, "COM%d" % port),
                "--baud", str(baud)] + list(extra)
        super().__init__(argv, directory)


class Vrx740:
    """VRX740SW on a pty in a working directory, its screen kept by pyte."""

    def __init__(self, cwd, args=(), exe=None, rows=25, cols=80):
        self.master, self.slave = os.openpty()
        fcntl.ioctl(self.slave, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))
        self.saved_modes = termios.tcgetattr(self.slave)
        env = dict(os.environ, TERM="xterm", LANG="C.UTF-8")
        self.proc = subprocess.Popen([exe or PROGRAM] + list(args), cwd=cwd, stdin=self.slave,
                                     stdout=self.slave, stderr=self.slave, env=env,
                                     start_new_session=True)
        self.screen = pyte.Screen(cols, rows)
        self.stream = pyte.ByteStream(self.screen)
        self.raw = bytearray()
        self.status = None

    def pump(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if not ready:
            return 0
        try:
            data = os.read(self.master, 65536)
        except OSError:
            return 0
        self.raw += data
        self.stream.feed(data)
        return len(data)

    def row(self, r):
        """Screen row r (1-based) as text."""
        return self.screen.display[r - 1]

    def cell(self, r, c, width):
        """width characters of row r from column c (1-based)."""
        return self.row(r)[c - 1:c - 1 + width]

    def attr(self, r, c):
        """The pyte character (with colours) at row r, column c."""
        return self.screen.buffer[r - 1][c - 1]

    def text(self):
        return "\n".join(self.screen.display)

    def wait_for(self, predicate, what, timeout=WAIT):
        deadline = time.monotonic() + timeout
        while True:
            if predicate():
                return
            left = deadline - time.monotonic()
            if left <= 0 or (self.proc.poll() is not None and not self.pump(0)):
                if predicate():
                    return
                raise AssertionError("timed out waiting for %s; screen:\n%s" % (what, self.dump()))
            self.pump(min(left, 0.05))

    def wait_text(self, r, c, text, timeout=WAIT):
        """Waits until text stands at row r, column c."""
        self.wait_for(lambda: self.cell(r, c, len(text)) == text,
                      "%r at row %d column %d" % (text, r, c), timeout)

    def wait_anywhere(self, text, timeout=WAIT):
        """Waits until text stands somewhere on the screen."""
        self.wait_for(lambda: any(text in line for line in self.screen.display),
                      "%r on the screen" % text, timeout)

    def wait_gone(self, r, c, text, timeout=WAIT):
        """Waits until text no longer stands at row r, column c."""
        self.wait_for(lambda: self.cell(r, c, len(text)) != text,
                      "%r to leave row %d column %d" % (text, r, c), timeout)

    def wait_error(self, message, timeout=WAIT):
        """Waits for the error window's message (row 23, column 77 - len)."""
        col = max(1, 77 - len(message))
        self.wait_text(23, col, message, timeout)

    def send(self, *keys):
        """Types keys: names of KEYS, or text / bytes as they are."""
        for k in keys:
            os.write(self.master, KEYS.get(k, k.encode() if isinstance(k, str) else k))
            # A lone ESC needs the terminal's escape time to stand as a key.
            if k == "esc":
                time.sleep(0.15)

    def menu(self, *letters):
        """Chooses from the menu bar by initial letters, e.g. menu("c", "f")."""
        self.send(*letters)

    def finish(self, timeout=WAIT):
        """Waits for the program to end; its exit status."""
        deadline = time.monotonic() + timeout
        while self.proc.poll() is None and time.monotonic() < deadline:
            self.pump(0.05)
        if self.proc.poll() is None:
            raise AssertionError("VRX740SW did not end; screen:\n%s" % self.dump())
        while self.pump(0.05):
            pass
        self.status = self.proc.returncode
        return self.status

    def terminate(self):
        """Sends SIGTERM to the program."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)

    def modes_restored(self):
        """True when the terminal modes are those before the program started."""
        return termios.tcgetattr(self.slave) == self.saved_modes

    def dump(self):
        return "\n".join("%2d|%s|" % (i + 1, line) for i, line in enumerate(self.screen.display))

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=5)
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
