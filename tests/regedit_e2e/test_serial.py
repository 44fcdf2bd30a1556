"""VELDAK end to end on serial links: simulators on ptys linked as COMn in the
test's own directory (Sy/Max, gateway, Modbus RTU and ASCII)."""
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Sim, Veldak, WAIT  # noqa: E402

VELDAK = os.environ["VELDAK"]
SYMAXSIM = os.environ["SYMAXSIM"]
SERIALSIM = os.environ["MODBUS_SERIAL_SIM"]
GATEWAYSIM = os.environ["GATEWAY_SIM"]


class SerialCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="veldak-e2e-")
        self.sim = None
        self.v = None

    def tearDown(self):
        if self.v:
            self.v.close()
        if self.sim:
            self.sim.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def start_sim(self, argv, port="COM1"):
        self.sim = Sim(argv + ["--link", os.path.join(self.dir, port)], self.dir)

    def start(self, *args):
        self.v = Veldak(VELDAK, list(args), self.dir)
        return self.v

    def wait_memory(self, command, expect):
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            got = [int(x) for x in self.sim.cmd(command)]
            if got == expect:
                return
            self.v.pump(0.05)
        self.fail("%r gives %s, not %s" % (command, got, expect))

    def escape_and_check_exit(self):
        self.v.send("esc")
        self.assertEqual(self.v.finish(), 0)
        self.assertTrue(self.v.modes_restored(), "terminal modes not given back")
        self.assertTrue(self.v.raw.endswith(b"\x1b[?25h\x1b[?1049l"))


class Symax(SerialCase):
    def test_table_status_words_and_module_name(self):
        self.start_sim([SYMAXSIM])
        self.sim.cmd("set 1 4660 65535 7")
        self.sim.cmd("set 8193 0xABCD")
        self.sim.cmd("set 8188 0x9991")
        self.sim.cmd("set 8177 0x5645 0x4C44 0x414B 0x2054 0x4553 0x5420 0x2020 0x2020 "
                     "0x2020 0x2020 0")
        v = self.start("COM1:9600,E,8,1")
        v.wait_text(5, 1, "     1  1234    4660    4660  ABCD")
        v.wait_text(3, 60, "VELDAK TEST         ")
        v.wait_text(6, 9, "FFFF   65535      -1  ")
        v.send("5", "6", "enter")
        self.wait_memory("get 1 1", [0x56])
        v.send("down", "right", "right", "-", "2", "enter")
        self.wait_memory("get 2 1", [65534])
        self.sim.cmd("set 8188 7")
        self.escape_and_check_exit()

    def test_route_net_to_net_priority_and_crc(self):
        self.start_sim([SYMAXSIM, "--crc", "--drop", "3"])
        self.sim.cmd("set 10 42")
        v = self.start("COM1:9600,E,8,1", "1", "-N", "3", "-P", "-C", "-R10", "-S")
        v.wait_text(5, 15, "    42")
        v.send("7", "enter")
        self.wait_memory("get 10 1", [7])
        self.escape_and_check_exit()

    def test_silent_link_errors_recovery_and_escape(self):
        self.start_sim([SYMAXSIM])
        self.sim.cmd("set 1 99")
        v = self.start("COM1:", "-S")
        v.wait_text(5, 15, "    99")
        self.sim.cmd("fault silent on")
        v.wait_text(5, 9, "ERROR")
        v.wait_for(lambda: v.cell(24, 40, 40).strip() != "", "an error text on row 24")
        self.sim.cmd("fault silent off")
        v.wait_text(5, 15, "    99")
        self.sim.cmd("fault silent on")
        time.sleep(0.5)
        began = time.monotonic()
        v.send("esc")
        self.assertEqual(v.finish(), 0)
        self.assertLess(time.monotonic() - began, 1.0)
        self.assertTrue(v.modes_restored())

    def test_link_that_drops_mid_run(self):
        self.start_sim([SYMAXSIM])
        self.sim.cmd("set 1 5")
        v = self.start("COM1:", "-S")
        v.wait_text(5, 15, "     5")
        self.sim.stop()  # the pty's far end closes
        self.sim = None
        v.wait_text(5, 9, "ERROR")
        # The port's own text, not a reply time-out: the hung-up line ends
        # the wait at once, and each later poll finds the port missing.
        v.wait_text(24, 40, "Port not available")
        self.assertIsNone(v.proc.poll())
        self.escape_and_check_exit()

    def test_device_back_on_the_same_link(self):
        self.start_sim([SYMAXSIM])
        self.sim.cmd("set 1 5")
        v = self.start("COM1:9600,E,8,1", "-S")
        v.wait_text(5, 15, "     5")
        # The adapter is pulled: the simulator ends, its pty closes and its
        # link goes; the table shows the port missing.
        self.sim.stop()
        self.sim = None
        v.wait_text(24, 40, "Port not available")
        v.wait_text(5, 9, "ERROR")
        # A new device on the same COM1 (a new pty): the table comes back by
        # itself, with no key typed, and the link works both ways.
        self.start_sim([SYMAXSIM])
        self.sim.cmd("set 1 6")
        v.wait_text(5, 15, "     6")
        v.send("4", "2", "enter")
        self.wait_memory("get 1 1", [0x42])
        # Pulled and plugged in again a second time: the same once more.
        self.sim.stop()
        self.sim = None
        v.wait_text(24, 40, "Port not available")
        self.start_sim([SYMAXSIM])
        self.sim.cmd("set 1 7")
        v.wait_text(5, 15, "     7")
        # Gone for good: Escape still ends the program at once.
        self.sim.stop()
        self.sim = None
        v.wait_text(24, 40, "Port not available")
        self.escape_and_check_exit()

    def test_start_is_pulled_back_to_the_last_register(self):
        self.start_sim([SYMAXSIM])
        v = self.start("COM1:", "-R8185", "-S")
        v.wait_text(5, 1, "  8173")
        v.wait_text(24, 1, "  8192")
        # The cursor stayed on the register asked for: a typed value goes there.
        v.send("7", "enter")
        self.wait_memory("get 8185 1", [7])
        v.send("pgdn")
        time.sleep(0.3)
        v.wait_text(24, 1, "  8192")
        self.escape_and_check_exit()


class Gateway(SerialCase):
    def test_values_and_writes_through_the_gateway(self):
        self.start_sim([GATEWAYSIM])
        self.sim.cmd("set 4x 1 11 22")
        v = self.start("COM1:9600,N,8,1", "1", "2", "-G", "-S")
        v.wait_text(5, 15, "    11")
        v.wait_text(6, 15, "    22")
        v.send("down", "3", "3", "enter")
        self.wait_memory("get 4x 2 1", [0x33])
        self.escape_and_check_exit()

    def test_gateway_garbage_shows_errors(self):
        self.start_sim([GATEWAYSIM])
        self.sim.cmd("set 4x 1 11")
        v = self.start("COM1:9600,N,8,1", "1", "-G", "-S")
        v.wait_text(5, 15, "    11")
        self.sim.cmd("fault garbage")
        v.wait_text(5, 9, "ERROR")
        v.wait_for(lambda: v.cell(24, 40, 40).strip() != "", "an error text on row 24")
        self.sim.cmd("fault none")
        v.wait_text(5, 15, "    11")
        self.escape_and_check_exit()


class ModbusSerial(SerialCase):
    def run_link(self, framing, switch):
        self.start_sim([SERIALSIM, framing, "--slave", "7"], port="COM2")
        self.sim.cmd("set 4x 1 500")
        v = self.start("com2:19200,e,8,1", "7", switch)
        v.wait_text(5, 15, "   500")
        v.send("right", "6", "0", "0", "enter")
        self.wait_memory("get 4x 1 1", [600])
        self.escape_and_check_exit()

    def test_garbage_and_bad_checks_keep_polling(self):
        self.start_sim([SERIALSIM, "--rtu", "--slave", "7"], port="COM2")
        self.sim.cmd("set 4x 1 77")
        v = self.start("COM2:9600,N,8,1", "7", "-B", "-S")
        v.wait_text(5, 15, "    77")
        self.sim.cmd("fault bad-check")
        v.wait_text(5, 9, "ERROR")
        v.wait_for(lambda: v.cell(24, 40, 40).strip() != "", "an error text on row 24")
        self.sim.cmd("fault none")
        v.wait_text(5, 15, "    77")
        self.escape_and_check_exit()

    def test_rtu(self):
        self.run_link("--rtu", "-B")

    def test_ascii(self):
        self.run_link("--ascii", "-A")

    def test_rtu_coils_single_write_by_function_5(self):
        self.start_sim([SERIALSIM, "--rtu", "--slave", "2"], port="COM3")
        v = self.start("COM3:9600,N,8,2", "2", "-B", "-0", "-W")
        v.wait_text(5, 9, "0000")
        v.send("1", "enter")
        self.wait_memory("get 0x 1 1", [1])
        self.escape_and_check_exit()


if __name__ == "__main__":
    unittest.main()
