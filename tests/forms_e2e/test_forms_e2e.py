"""The menu bar, file picker and typed form of a small demo program, driven in
a real pseudo-terminal of 25 rows by 80 columns and read back through pyte.

Every wait has a time limit; the demo is stopped by its own pid if a test
fails half-way."""
import fcntl
import os
import re
import select
import shutil
import struct
import subprocess
import tempfile
import termios
import time
import unittest

import pyte

DEMO = os.environ["FORMS_DEMO"]
WAIT = float(os.environ.get("FORMS_E2E_WAIT", "20"))
KEYS = {
    "up": b"\x1b[A", "down": b"\x1b[B", "right": b"\x1b[C", "left": b"\x1b[D",
    "home": b"\x1b[H", "end": b"\x1b[F", "pgup": b"\x1b[5~", "pgdn": b"\x1b[6~",
    "enter": b"\r", "esc": b"\x1b", "f10": b"\x1b[21~",
}


class Terminal:
    """The demo on a pty, its screen kept by pyte."""

    def __init__(self, cwd, home):
        self.master, self.slave = os.openpty()
        fcntl.ioctl(self.slave, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
        env = dict(os.environ, TERM="xterm", LANG="C.UTF-8", HOME=home)
        self.proc = subprocess.Popen([DEMO], cwd=cwd, stdin=self.slave, stdout=self.slave,
                                     stderr=self.slave, env=env, start_new_session=True)
        self.screen = pyte.Screen(80, 25)
        self.stream = pyte.ByteStream(self.screen)
        self.raw = bytearray()

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

    def cell(self, r, c, width):
        return self.screen.display[r - 1][c - 1:c - 1 + width]

    def background(self, r, c):
        return self.screen.buffer[r - 1][c - 1].bg

    def wait_text(self, r, c, text):
        deadline = time.monotonic() + WAIT
        while self.cell(r, c, len(text)) != text:
            left = deadline - time.monotonic()
            if left <= 0 or self.proc.poll() is not None and not self.pump(0):
                if self.cell(r, c, len(text)) == text:
                    return
                raise AssertionError("no %r at row %d column %d; screen:\n%s"
                                     % (text, r, c, self.dump()))
            self.pump(min(left, 0.05))

    def send(self, *keys):
        for k in keys:
            os.write(self.master, KEYS.get(k, k.encode()))
            if k == "esc":
                time.sleep(0.15)  # a lone ESC needs the terminal's escape time

    def finish(self):
        deadline = time.monotonic() + WAIT
        while self.proc.poll() is None and time.monotonic() < deadline:
            self.pump(0.05)
        if self.proc.poll() is None:
            raise AssertionError("the demo did not end; screen:\n%s" % self.dump())
        while self.pump(0.05):
            pass
        return self.proc.returncode

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


class Demo(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="forms-e2e-")
        self.home = tempfile.mkdtemp(prefix="forms-e2e-home-")
        os.mkdir(os.path.join(self.dir, "sub"))
        for name, text in (("config.vrx", "HELLO"), ("Other.VRX", "OTHER"),
                           ("notes.txt", "NOT LISTED"), ("sub/inner.vrx", "INNER")):
            with open(os.path.join(self.dir, name), "w") as f:
                f.write(text + "\n")
        self.t = Terminal(self.dir, self.home)

    def tearDown(self):
        self.t.close()
        shutil.rmtree(self.dir, ignore_errors=True)
        shutil.rmtree(self.home, ignore_errors=True)

    def test_menu_picker_form_and_list(self):
        t = self.t
        t.wait_text(4, 1, "File")
        t.wait_text(4, 77, "Quit")
        t.wait_text(24, 1, "Use initial capital letter")

        # The pull-down under File, then the picker from its letter.
        t.send("f")
        t.wait_text(6, 2, "Pick a file     ")
        t.wait_text(8, 2, "choose data Type \u2551")
        self.assertNotEqual(t.background(6, 3), t.background(7, 3))  # current item
        t.send("P")
        t.wait_text(14, 1, "[ parent ]")
        t.wait_text(15, 2, "CONFIG  ")
        t.wait_text(16, 2, "OTHER   ")
        t.wait_text(17, 1, "[SUB     ]")
        t.wait_text(18, 1, "[/       ]")
        t.wait_text(19, 1, "[~       ]")
        self.assertNotIn("NOTES", t.dump())
        t.send("down")
        t.wait_text(11, 38, "CONFIG..")
        t.send("enter")
        # The capitalised name opens the lower-case file on disk.
        t.wait_text(8, 2, "Picked: CONFIG  Content: HELLO")
        t.wait_text(14, 1, " " * 80)

        # Again: into SUB, pick its file; the directory stays chosen.
        t.send("enter", "enter")
        t.wait_text(14, 1, "[ parent ]")
        t.send("down", "down", "down", "enter")
        t.wait_text(15, 2, "INNER   ")
        t.send("down", "enter")
        t.wait_text(8, 2, "Picked: INNER  Content: INNER")

        # A typed name that does not exist yet is taken as it is.
        t.send("enter", "enter")
        t.wait_text(14, 1, "[ parent ]")
        t.send("n", "e", "w", "enter")
        t.wait_text(8, 2, "Picked: NEW  Content: (new file)")

        # The form: a choice, a number, money with a refused entry, a date
        # and a route.
        t.send("enter", "down", "enter")
        t.wait_text(10, 10, "Parity")
        t.wait_text(10, 30, "NONE")
        t.send("right", "enter")
        t.wait_text(10, 30, "ODD ")
        t.send("1", "2", "3", "enter")
        t.wait_text(11, 30, "123 ")
        t.send("1", "2", ".", "enter")
        t.wait_text(23, 50, "Unacceptable format of data")
        t.send("f10")
        t.wait_text(22, 1, " " * 80)
        t.send("5", "enter")
        t.wait_text(12, 30, "12.50   ")
        t.wait_text(13, 30, "01/01/90")
        t.send("0", "2", "2", "9", "9", "2", "enter")
        t.wait_text(13, 30, "02/29/92")
        t.send("1", ",", " ", "5", " ", "2", "0", "enter")
        t.wait_text(14, 30, "1,5,20 ")
        t.wait_text(8, 2, "Form left with key 13")

        # The pop-up list by its letter.
        t.send("f", "T")
        t.wait_text(7, 19, "Hex file")
        t.send("d")
        t.wait_text(8, 2, "Type: 3")

        # ESC in the pull-down, Right along the bar to Quit, ENTER.
        t.send("f")
        t.wait_text(6, 2, "Pick a file")
        t.send("esc", "right", "enter")
        self.assertEqual(t.finish(), 0)
        m = re.search(rb"RESULT ([^\r\n]*)", bytes(t.raw))
        self.assertIsNotNone(m, t.raw[-300:])
        self.assertEqual(m.group(1).decode(),
                         "picked=NEW parity=1 rack=123 price=1250 date=699321600 "
                         "route=3:1,5,20 code=200")

    def test_home_drive_and_escape(self):
        t = self.t
        t.wait_text(4, 1, "File")
        t.send("f", "p")
        t.wait_text(19, 1, "[~       ]")
        t.send("end", "enter")  # the home directory is empty
        t.wait_text(14, 1, "[ parent ]")
        t.wait_text(15, 1, "[/       ]")
        t.send("esc")
        t.wait_text(8, 2, "Picked: nothing")
        t.send("q")
        self.assertEqual(t.finish(), 0)
        self.assertIn(b"code=200", bytes(t.raw))


if __name__ == "__main__":
    unittest.main()
