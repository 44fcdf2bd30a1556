#!/usr/bin/python3
"""End-to-end test of the screen library: runs screen_demo in a pty of 80 by 25,
reads the screen with pyte, types keys, checks cells and colours, and checks
that the terminal's modes come back after a normal exit, an exit without
ScreenExit, a SIGTERM and a stop with Ctrl-Z.

usage: screen_e2e.py path/to/screen_demo
"""
import fcntl
import os
import select
import signal
import struct
import subprocess
import sys
import termios
import time

import pyte

DEMO = sys.argv[1]
FAILURES = []

# (foreground, background) as pyte names them, for the attribute codes used.
NORMAL = ("white", "blue")
HIGH = ("brown", "blue")  # bright yellow
ALERT = ("red", "blue")   # bright red
REVERSE = ("blue", "white")

F2 = b"\x1b[12~"  # VT220 form
F5 = b"\x1b[15~"
F10 = b"\x1b[21~"
LEFT = b"\x1bOD"  # application-mode form
HOME = b"\x1b[H"


def check(cond, what):
    print(("ok    " if cond else "FAIL  ") + what)
    if not cond:
        FAILURES.append(what)


class Demo:
    """The demo on a fresh pty, with the pty's modes as they were before it started."""

    def __init__(self, *args):
        self.master, self.slave = os.openpty()
        fcntl.ioctl(self.slave, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
        self.before = termios.tcgetattr(self.slave)
        self.screen = pyte.Screen(80, 25)
        self.stream = pyte.ByteStream(self.screen)
        self.raw = b""
        self.after = None
        env = dict(os.environ, TERM="xterm", LANG="C.UTF-8")
        self.proc = subprocess.Popen(
            [DEMO, *args], stdin=self.slave, stdout=self.slave, stderr=self.slave,
            preexec_fn=self._controlling_tty, close_fds=True, env=env)

    @staticmethod
    def _controlling_tty():
        os.setsid()
        fcntl.ioctl(0, termios.TIOCSCTTY, 0)

    def pump(self, wait=0.05):
        while True:
            ready, _, _ = select.select([self.master], [], [], wait)
            if not ready:
                return
            try:
                data = os.read(self.master, 65536)
            except OSError:
                return
            if not data:
                return
            self.raw += data
            self.stream.feed(data)
            wait = 0.02

    def wait_for(self, predicate, what, limit=5.0):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            self.pump()
            if predicate():
                return True
        check(False, what + " (timed out)")
        self.dump()
        return False

    def send(self, data):
        os.write(self.master, data)

    def row(self, r):
        """1-based row as text."""
        line = self.screen.buffer[r - 1]
        return "".join(line[c].data for c in range(80))

    def colour(self, r, c):
        ch = self.screen.buffer[r - 1][c - 1]
        return (ch.fg, ch.bg)

    def dump(self):
        for r in range(1, 26):
            print("   |" + self.row(r) + "|")

    def modes_restored(self):
        return self.modes() == self.before

    def modes(self):
        return self.after if self.after is not None else termios.tcgetattr(self.slave)

    def finish(self):
        try:
            self.proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            check(False, "demo ended by itself")
        self.pump(0.05)
        self.after = termios.tcgetattr(self.slave)
        os.close(self.master)
        os.close(self.slave)


def normal_session():
    d = Demo()
    # the first screen may arrive in several reads: wait for its last cells too
    d.wait_for(lambda: "SCREEN LIBRARY DEMONSTRATION" in d.row(1) and d.row(25)[5:8] == "F10"
               and d.row(8)[19:23] == "12__", "first screen shown")
    check(d.row(1)[25:53] == "SCREEN LIBRARY DEMONSTRATION", "title at row 1, column 26")
    check(d.colour(1, 26) == HIGH, "title in yellow on blue")
    check(d.colour(2, 5) == NORMAL, "blank cells grey on blue")
    check(termios.tcgetattr(d.slave)[3] & termios.ICANON == 0, "raw mode while running")
    check(d.screen.cursor.hidden is False, "cursor shown in the field")
    # frame in code page 437 double lines, title reverse
    check(d.row(6)[9] == "\u2554" and d.row(6)[59] == "\u2557", "window corners")
    check(d.row(12)[9] == "\u255a" and d.row(12)[59] == "\u255d", "window bottom corners")
    check(d.row(9)[9] == "\u2551", "window side")
    check("REGISTER" in d.row(6), "window title")
    check(d.colour(6, d.row(6).index("REGISTER") + 1) == REVERSE, "window title reverse")
    check(d.row(8)[19:23] == "12__", "field shows the initial text and the fill")
    check(d.colour(8, 20) == HIGH, "field highlighted")
    check(d.row(25)[5:8] == "F10" and d.colour(25, 6) == HIGH, "F10 highlighted on the help line")

    # replace on first key, then a hot key inside the field, a refused key, a short value
    d.send(b"a")
    d.wait_for(lambda: d.row(8)[19:23] == "A___", "first key replaces the text, folded to capitals")
    d.send(F2)
    d.wait_for(lambda: "F2 PRESSED 1" in d.row(3), "hot key ran inside the field")
    check(d.colour(3, 60) == ALERT, "hot key text in red")
    d.send(b"\xc3\xa9" + b"\x1b[1;5C" + b"x" + b"\r")  # UTF-8, a Ctrl-arrow and a refused letter
    message = "Value A needs four hex digits"
    d.wait_for(lambda: "ERROR" in d.row(22) and message in d.row(23),
               "short value opens the error window")
    check(message in d.row(23), "error message shown")
    col = d.row(23).index(message) + 1
    check(d.colour(23, col) == ALERT, "error message in red")
    check(d.row(22)[75 - len(message) - 1] == "\u2554", "error window grows left from column 79")
    d.send(b"\r")  # ENTER does not close it
    d.pump(0.2)
    check("ERROR" in d.row(22), "ENTER leaves the error window open")
    d.send(F10)
    d.wait_for(lambda: "ERROR" not in d.row(22) and d.row(24).startswith("Type a value"),
               "F10 closes the error window")
    check(d.row(24).startswith("Type a value"), "screen under the error window restored")

    # edit: Home, insert, Left, overwrite with Insert toggled
    d.send(HOME + b"b")
    d.wait_for(lambda: d.row(8)[19:23] == "BA__", "Home then insert")
    d.send(b"\x1b[F" + b"12" + b"\r")
    d.wait_for(lambda: "Accepted BA12" in d.row(10), "value accepted")
    d.wait_for(lambda: "CONFIRM" in d.row(22) and "Quit the demo?" in d.row(23), "question asked")
    d.send(b"n")
    d.wait_for(lambda: "CONFIRM" not in d.row(22), "question closed on n")
    d.send(b"\x1b")  # a lone ESC: empties the field and asks again
    d.wait_for(lambda: "CONFIRM" in d.row(22), "ESC asks to quit")
    d.send(b"y")
    d.finish()
    check(d.proc.returncode == 0, "demo exit status 0")
    check(d.modes_restored(), "terminal modes restored after normal exit")
    check(d.raw.rfind(b"\x1b[?1049l") > d.raw.rfind(b"\x1b[?1049h"), "main screen given back")
    check(d.screen.cursor.hidden is False, "cursor visible after exit")
    check(d.raw.find(b"demo: value BA12") > d.raw.rfind(b"\x1b[?1049l"), "program output after the screen ended")


def terminated_session(how, expect_signal):
    d = Demo()
    d.wait_for(lambda: "REGISTER" in d.row(6), "demo up for " + how)
    check(not d.modes_restored(), "modes changed while running")
    if how == "ctrl-c":
        d.send(b"\x03")  # the terminal makes it SIGINT
    else:
        d.proc.send_signal(expect_signal)
    d.finish()
    if expect_signal == signal.SIGSEGV:
        # a sanitizer's own handler may report it and exit instead
        check(d.proc.returncode != 0, how + " ends the demo")
    else:
        check(d.proc.returncode == -expect_signal, how + " ends the demo by the signal")
    check(d.modes_restored(), "terminal modes restored after " + how)
    taken = d.raw.rfind(b"\x1b[?1049h")
    check(d.raw.rfind(b"\x1b[?25h") > taken and d.raw.rfind(b"\x1b[?1049l") > taken,
          "cursor and main screen back after " + how)


def abandoned_session():
    d = Demo("abandon")
    d.wait_for(lambda: "REGISTER" in d.row(6), "third demo up")
    d.send(F5)
    d.finish()
    check(d.proc.returncode == 3, "exit(3) without ScreenExit")
    check(d.modes_restored(), "terminal modes restored by the at-exit handler")
    check(b"\x1b[?1049l" in d.raw[-40:], "main screen back after exit without ScreenExit")


def suspended_session():
    d = Demo()
    d.wait_for(lambda: "REGISTER" in d.row(6), "fourth demo up")
    d.send(b"7")
    d.wait_for(lambda: d.row(8)[19:23] == "7___", "typed before the stop")
    d.send(b"\x1a")  # Ctrl-Z
    pid, status = os.waitpid(d.proc.pid, os.WUNTRACED)
    check(os.WIFSTOPPED(status), "Ctrl-Z stops the demo")
    d.pump(0.1)
    check(d.modes_restored(), "terminal modes given back while stopped")
    check(d.raw.endswith(b"\x1b[?1049l"), "main screen shown while stopped")
    d.screen.reset()  # forget the picture: the demo must draw it all again
    os.kill(d.proc.pid, signal.SIGCONT)
    d.wait_for(lambda: "REGISTER" in d.row(6) and "SCREEN LIBRARY" in d.row(1), "screen repainted after resume")
    check(d.colour(1, 26) == HIGH and d.colour(2, 1) == NORMAL, "colours repainted after resume")
    check(termios.tcgetattr(d.slave)[3] & termios.ICANON == 0, "raw mode again after resume")
    d.send(b"8")
    d.wait_for(lambda: d.row(8)[19:23] == "78__", "the field goes on after resume")
    d.send(b"\x1b")
    d.wait_for(lambda: "CONFIRM" in d.row(22), "question after resume")
    d.send(b"Y")
    d.finish()
    check(d.proc.returncode == 0, "demo ends normally after resume")
    check(d.modes_restored(), "terminal modes restored at the end")


def small_terminal():
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 20, 70, 0, 0))
    before = termios.tcgetattr(slave)
    proc = subprocess.run([DEMO], stdin=slave, stdout=slave, stderr=slave, timeout=10)
    out = b""
    while select.select([master], [], [], 0.05)[0]:
        out += os.read(master, 4096)
    check(proc.returncode == 1, "too small a terminal: exit status 1")
    check(b"at least 80 columns by 25 rows" in out, "too small a terminal: clear message")
    check(b"\x1b[" not in out, "too small a terminal: no screen drawn")
    check(termios.tcgetattr(slave) == before, "too small a terminal: modes untouched")
    os.close(master)
    os.close(slave)


def main():
    normal_session()
    terminated_session("SIGTERM", signal.SIGTERM)
    terminated_session("SIGHUP", signal.SIGHUP)
    terminated_session("ctrl-c", signal.SIGINT)
    terminated_session("SIGSEGV", signal.SIGSEGV)
    abandoned_session()
    suspended_session()
    small_terminal()
    total = sum(1 for _ in FAILURES)
    print("%d failed" % total if total else "all checks passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
