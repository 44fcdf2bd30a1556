"""VELDAK.exe under wine in a real terminal: the usage text and its status
beside the Linux build's, the live table on COM1: against the Sy/Max
simulator (a value typed in the HEX column reaches it, Escape gives the
console back), and the live table over Modbus TCP on loopback."""
import os
import shutil
import tempfile
import time
import unittest

import wine_harness
from wine_harness import WAIT, WinePrefix, WineProgram, pty_harness, run_plain

VELDAK_EXE = wine_harness.VELDAK_EXE
VELDAK = os.environ.get("VELDAK", "")
SYMAXSIM = os.environ.get("SYMAXSIM", "")
TCPSIM = os.environ.get("MODBUSTCPSIM", "")

prefix = WinePrefix("veldak")


def setUpModule():
    if VELDAK_EXE and os.path.isfile(VELDAK_EXE):
        prefix.create()


def tearDownModule():
    prefix.close()


class Sim(pty_harness.Sim):
    wait = WAIT


@wine_harness.need_windows_programs(VELDAK_EXE)
class VeldakExe(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="veldak-wine-")
        self.sim = None
        self.v = None

    def tearDown(self):
        if self.v:
            self.v.close()
        if self.sim:
            self.sim.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def wait_memory(self, command, expect):
        deadline = time.monotonic() + WAIT
        got = None
        while time.monotonic() < deadline:
            got = [int(x) for x in self.sim.cmd(command)]
            if got == expect:
                return
            self.v.pump(0.05)
        self.fail("%r gives %s, not %s" % (command, got, expect))

    def escape_and_check_exit(self):
        self.v.send("esc")
        self.assertEqual(self.v.finish(), 0, self.v.dump())
        self.assertTrue(self.v.modes_restored(), "terminal modes not given back")

    def test_usage_text_and_status_as_on_linux(self):
        status, text = run_plain([wine_harness.WINE, VELDAK_EXE, "-?"], self.dir)
        self.assertEqual(status, 1, text)
        lines = text.split("\n")
        self.assertEqual(lines[0], "Corvane Sy/Max Register Editor VELDAK 05Oct2004")
        self.assertIn("Usage is:", lines)
        self.assertIn("-6[file]    Read 6X registers from specified file.", lines)
        self.assertEqual(lines[-1], "  update without moving.  F10 to acknowledge error.  "
                                    "Escape to exit.")
        if VELDAK:
            linux_status, linux_text = run_plain([VELDAK, "-?"], self.dir)
            self.assertEqual((status, text), (linux_status, linux_text))
        # a switch it does not know, and a target it cannot open, end with 1 too
        status, text = run_plain([wine_harness.WINE, VELDAK_EXE, "COM1:", "-Q"], self.dir)
        self.assertEqual(status, 1)
        self.assertIn('Unrecognized switch: "-Q"', text)

    @unittest.skipUnless(SYMAXSIM, "SYMAXSIM not set")
    def test_symax_on_com1_table_write_and_escape(self):
        self.sim = Sim([SYMAXSIM, "--link", os.path.join(self.dir, "COM1")], self.dir)
        prefix.map_ports({"COM1": self.sim.ready})
        self.sim.cmd("set 1 4660 65535 7")
        self.sim.cmd("set 8193 0xABCD")
        self.sim.cmd("set 8188 0x9991")
        self.sim.cmd("set 8177 0x5645 0x4C44 0x414B 0x2057 0x494E 0x4520 0x2020 0x2020 "
                     "0x2020 0x2020 0")
        self.v = v = WineProgram(VELDAK_EXE, ["COM1:9600,E,8,1"], self.dir)
        v.wait_for(lambda: "SY/MAX Register Viewer" in v.row(1), "the title")
        v.wait_text(4, 1, "REGSTR  HEX   UNSIGN  SIGNED  STAT")
        v.wait_text(5, 1, "     1  1234    4660    4660  ABCD")
        v.wait_text(6, 9, "FFFF   65535      -1  ")
        v.wait_text(3, 60, "VELDAK WINE         ")
        # the table is live: a change in the device shows
        self.sim.cmd("set 3 8")
        v.wait_text(7, 9, "0008")
        # typed in the HEX column, the value reaches the device
        v.send("5", "6", "enter")
        self.wait_memory("get 1 1", [0x56])
        v.wait_text(5, 9, "0056")
        # the SIGNED column of the next row
        v.send("down", "right", "right", "-", "2", "enter")
        self.wait_memory("get 2 1", [65534])
        self.escape_and_check_exit()

    @unittest.skipUnless(TCPSIM, "MODBUSTCPSIM not set")
    def test_modbus_tcp_table_is_live(self):
        self.sim = Sim([TCPSIM], self.dir)
        self.sim.cmd("set 4x 1 4660 65535 7")
        self.sim.cmd("set 4x 8188 1234")
        self.v = v = WineProgram(VELDAK_EXE, ["127.0.0.1:" + self.sim.ready, "1"], self.dir)
        v.wait_text(5, 1, "     1  1234    4660    4660")
        v.wait_text(6, 1, "     2  FFFF   65535      -1  ")
        v.wait_text(3, 60, "Model 1234")
        self.sim.cmd("set 4x 3 8")
        v.wait_text(7, 9, "0008")
        v.send("1", "a", "b", "c", "enter")
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            if [int(x) for x in self.sim.cmd("get 4x 1 1")] == [0x1ABC]:
                break
            v.pump(0.05)
        else:
            self.fail("the typed value did not reach the server")
        self.escape_and_check_exit()


if __name__ == "__main__":
    unittest.main()
