"""The pieces of the end-to-end harnesses that drive a program in a real
pseudo-terminal and simulators over pipes (VELDAK's here, VRX740SW's in
tests/configurator_e2e, which puts this folder on its path).

The program runs on the slave side of a pty; what it writes is fed to a pyte
screen, keys are written as a terminal sends them. Simulators run as child
processes that print "READY ..." and answer one line per command on standard
input. Every process started here is stopped by its own object (by pid), and
every wait has a time limit: the class's wait unless a call names another.
"""
import fcntl
import os
import select
import struct
import subprocess
import tempfile
import termios
import time

import pyte

KEYS = {
    "up": b"\x1b[A", "down": b"\x1b[B", "right": b"\x1b[C", "left": b"\x1b[D",
    "home": b"\x1b[H", "pgup": b"\x1b[5~", "pgdn": b"\x1b[6~", "enter": b"\r",
    "esc": b"\x1b", "f10": b"\x1b[21~",
}

# Generous limits: the tests also run under the sanitizers.
WAIT = float(os.environ.get("VELDAK_E2E_WAIT", "20"))


class LineChild:
    """A child process spoken to in lines over pipes."""

    wait = WAIT      # seconds a line may take
    stop_wait = 5    # seconds the child has to end once its input closes

    def __init__(self, argv, cwd):
        self.errfile = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self.errfile)
        self.buf = b""

    def readline(self, timeout=None):
        deadline = time.monotonic() + (self.wait if timeout is None else timeout)
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
                self.proc.wait(timeout=self.stop_wait)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=5)
        self.proc.stdout.close()
        self.errfile.close()


class Sim(LineChild):
    """A simulator: READY line first, then one answer line per command. One
    that never says READY is stopped before the error goes up."""

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


class PtyProgram:
    """A program on a pty, its screen kept by pyte."""

    name = "the program"  # as failures name it
    keys = KEYS           # names send() knows
    wait = WAIT           # seconds a wait may take

    def __init__(self, argv, cwd, rows=25, cols=80):
        self.master, self.slave = os.openpty()
        fcntl.ioctl(self.slave, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))
        self.saved_modes = termios.tcgetattr(self.slave)
        env = dict(os.environ, TERM="xterm", LANG="C.UTF-8")
        self.proc = subprocess.Popen(argv, cwd=cwd, stdin=self.slave,
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

    def wait_for(self, predicate, what, timeout=None):
        deadline = time.monotonic() + (self.wait if timeout is None else timeout)
        while True:
            if predicate():
                return
            left = deadline - time.monotonic()
            if left <= 0 or (self.proc.poll() is not None and not self.pump(0)):
                if predicate():
                    return
                raise AssertionError("timed out waiting for %s; screen:\n%s" % (what, self.dump()))
            self.pump(min(left, 0.05))

    def wait_text(self, r, c, text, timeout=None):
        """Waits until text stands at row r, column c."""
        self.wait_for(lambda: self.cell(r, c, len(text)) == text,
                      "%r at row %d column %d" % (text, r, c), timeout)

    def send(self, *keys):
        """Types keys: names of keys, or text / bytes as they are."""
        for k in keys:
            os.write(self.master, self.keys.get(k, k.encode() if isinstance(k, str) else k))
            # A lone ESC needs the terminal's escape time to stand as a key:
            # the program must have read it before the next key is typed, or
            # the two arrive together as an Alt key (a busy machine is slow
            # to read).
            if k == "esc":
                self.wait_input_read()
                time.sleep(0.15)

    def wait_input_read(self):
        """Waits (bounded) until the program has read every byte typed."""
        deadline = time.monotonic() + self.wait
        while time.monotonic() < deadline and self.proc.poll() is None:
            waiting = fcntl.ioctl(self.slave, termios.FIONREAD, b"\0\0\0\0")
            if struct.unpack("i", waiting)[0] == 0:
                return
            self.pump(0.01)

    def finish(self, timeout=None):
        """Waits for the program to end; its exit status."""
        deadline = time.monotonic() + (self.wait if timeout is None else timeout)
        while self.proc.poll() is None and time.monotonic() < deadline:
            self.pump(0.05)
        if self.proc.poll() is None:
            raise AssertionError("%s did not end; screen:\n%s" % (self.name, self.dump()))
        while self.pump(0.05):
            pass
        self.status = self.proc.returncode
        return self.status

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
