"""The module register viewer in a real terminal against the module
simulator: the five columns, writes down to a single bit, the bounds of the
register range, the help window, and ESC with a dead link."""
import unittest

import harness
from harness import ModuleSim, Vrx740, Workdir


@harness.need_module_sim
class RegisterViewer(unittest.TestCase):
    def setUp(self):
        self.wd = Workdir()
        harness.write_setup(self.wd.path, baud=19200)
        self.sim = ModuleSim(self.wd.path)
        self.addCleanup(self.wd.close)
        self.addCleanup(self.sim.stop)
        self.prog = Vrx740(self.wd.path)
        self.addCleanup(self.prog.close)

    def writes(self):
        stats = dict(w.split("=") for w in self.sim.cmd("stats"))
        return int(stats["writes"])

    def module(self, offset):
        return int(self.sim.cmd("get %d" % offset)[0])

    def wait_module(self, offset, value):
        self.prog.wait_for(lambda: self.module(offset) == value,
                           "offset %d to hold %d" % (offset, value))

    def goto(self, register):
        """From the SIGNED or HEX column: the register column, a number, back."""
        self.prog.send(register, "enter")
        self.prog.wait_text(5, 1, "%6d" % int(register))

    def high(self, row, column):
        return self.prog.attr(row, column).fg

    def test_viewer(self):
        p = self.prog
        self.sim.cmd("set 4999 0x8000")
        p.wait_text(4, 1, "Configuration")
        p.send("u", "v")
        p.wait_text(4, 1, "REGSTR  HEX   UNSIGN  SIGNED         BINARY          STAT")
        p.wait_text(10, 62, "Connected DIRECT")
        p.wait_text(5, 1, "     1")

        # one value in all five columns
        p.send("left")
        self.goto("5000")
        p.send("right")
        p.wait_text(5, 9, "8000  ")
        p.wait_text(5, 15, " 32768  ")
        p.wait_text(5, 23, "-32768")
        p.wait_text(5, 31, "1000 0000 0000 0000 ")
        p.wait_text(5, 54, "0000")
        before = self.writes()
        # Down writes nothing; a typed value is written once
        p.send("down", "12", "enter")
        self.wait_module(5000, 0x12)
        p.wait_text(6, 9, "0012")
        self.assertEqual(self.writes(), before + 1)

        # the binary column: 1 over the first bit, then a bit further right
        p.send("right", "right", "right", "down")
        p.wait_for(lambda: self.high(7, 31) != self.high(6, 31), "the cursor on row 7")
        p.send("1", "enter")
        self.wait_module(5001, 0x8000)
        p.wait_text(7, 31, "1000 0000 0000 0000")
        p.send("down", "0", "right", "right", "1", "enter")
        self.wait_module(5002, 0x1000)
        p.wait_text(8, 31, "0001 0000 0000 0000")
        self.assertEqual(self.writes(), before + 3)

        # Page keys and Up at the bottom of the range
        p.send("left", "home")
        p.wait_text(5, 1, "     1")
        p.send("pgdn")
        p.wait_text(5, 1, "    11")
        p.send("pgup", "pgup")
        p.wait_text(5, 1, "     1")
        p.send("down", "up", "up")
        p.wait_for(lambda: self.high(5, 23) != self.high(6, 23), "the cursor on row 5")
        p.wait_text(5, 1, "     1")
        p.send("left", "left", "left")
        self.goto("5")
        p.send("pgup")
        p.wait_text(5, 1, "     1")
        # and at the top: the cursor row never passes register 8192
        self.goto("8190")
        p.send("pgdn")
        p.wait_text(5, 1, "  8192")
        p.wait_text(6, 1, " " * 57)
        p.send("9000", "enter")
        p.wait_text(5, 1, "  8192")
        p.send("down")
        p.wait_text(5, 1, "  8191")
        p.wait_text(6, 1, "  8192")

        # the help window, closed by any key; nothing is written
        p.send("f2")
        p.wait_anywhere("REGISTER VIEWER HELP")
        p.wait_text(19, 40, "ESC to exit Register Viewer.")
        p.send("x")
        p.wait_for(lambda: "REGISTER VIEWER HELP" not in p.text(), "the help to close")

        # a field ended with ESC writes nothing, and ESC leaves the viewer
        p.send("home")
        p.wait_text(5, 1, "     1")
        self.goto("5000")
        p.send("right")
        p.wait_text(5, 9, "8000")
        p.send("7")
        p.wait_text(5, 9, "7    ")
        p.send("esc")
        p.wait_gone(4, 1, "REGSTR")
        self.assertEqual(self.module(4999), 0x8000)
        self.assertEqual(self.writes(), before + 3)

        # with the link dead the rows say ERROR, and ESC still leaves
        p.send("u", "v")
        p.wait_text(4, 1, "REGSTR")
        p.wait_text(5, 1, "     1")
        self.sim.stop()
        p.wait_text(5, 9, "ERROR")
        p.send("esc")
        p.wait_gone(4, 1, "REGSTR")
        p.wait_text(4, 1, "Configuration")
        p.send("q")
        self.assertEqual(p.finish(), 0)


if __name__ == "__main__":
    unittest.main()
