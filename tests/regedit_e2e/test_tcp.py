"""VELDAK end to end over Modbus TCP and RTU over TCP on loopback."""
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Sim, Veldak, WAIT  # noqa: E402
from modbus_server import LoggingServer  # noqa: E402

VELDAK = os.environ["VELDAK"]
TCPSIM = os.environ["MODBUSTCPSIM"]


class TcpCase(unittest.TestCase):
    sim_args = []
    veldak_args = []

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="veldak-e2e-")
        self.sim = Sim([TCPSIM] + self.sim_args, self.dir)
        self.v = None

    def tearDown(self):
        if self.v:
            self.v.close()
        self.sim.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def start(self, *args, target=None):
        target = target or "127.0.0.1:" + self.sim.ready
        self.v = Veldak(VELDAK, [target] + list(self.veldak_args) + list(args), self.dir)
        return self.v

    def get(self, table, first, count=1):
        return [int(x) for x in self.sim.cmd("get %s %d %d" % (table, first, count))]

    def wait_memory(self, table, first, expect):
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            got = self.get(table, first, len(expect))
            if got == expect:
                return
            self.v.pump(0.05)
        self.fail("%s %d holds %s, not %s" % (table, first, got, expect))

    def escape_and_check_exit(self):
        self.v.send("esc")
        self.assertEqual(self.v.finish(), 0)
        self.assertTrue(self.v.modes_restored(), "terminal modes not given back")
        self.assertTrue(self.v.raw.endswith(b"\x1b[?25h\x1b[?1049l"), bytes(self.v.raw[-40:]))


class ModbusTcp(TcpCase):
    def test_table_shows_the_device_values(self):
        self.sim.cmd("set 4x 1 4660 65535 7")
        self.sim.cmd("set 4x 8188 1234")
        v = self.start()
        v.wait_text(5, 1, "     1  1234    4660    4660")
        v.wait_text(6, 1, "     2  FFFF   65535      -1  ")
        v.wait_text(4, 1, "REGSTR  HEX   UNSIGN  SIGNED  STAT ")
        v.wait_text(24, 1, "    20  ")
        v.wait_text(3, 60, "Model 1234")
        self.sim.cmd("set 4x 3 8")
        v.wait_text(7, 9, "0008")
        self.escape_and_check_exit()

    def test_typing_in_each_column_writes_the_value(self):
        v = self.start()
        v.wait_text(5, 9, "0000")
        v.send("1", "a", "b", "c", "enter")  # HEX column, lower case folded
        self.wait_memory("4x", 1, [0x1ABC])
        v.send("down", "right", "5", "4", "3", "2", "1", "enter")  # UNSIGN
        self.wait_memory("4x", 2, [54321])
        v.send("down", "right", "-", "1", "2", "enter")  # SIGNED: a minus starts the value
        self.wait_memory("4x", 3, [65536 - 12])
        v.wait_text(7, 23, "   -12")
        v.send("down", "right", "9", "enter")  # SIGNED stays the last column
        self.wait_memory("4x", 4, [9])
        v.send("left", "left", "left", "left", "4", "0", "enter")  # register column
        v.wait_text(8, 1, "    40")  # the cursor row (8) now shows register 40
        v.wait_text(5, 1, "    37")
        self.escape_and_check_exit()

    def test_enter_rewrites_and_escape_abandons_a_value(self):
        v = self.start()
        v.wait_text(5, 9, "0000")
        v.send("7", "7", "esc")
        self.assertEqual(v.finish(), 0)
        self.assertEqual(self.get("4x", 1), [0])

    def test_page_home_and_arrow_moves(self):
        v = self.start()
        v.wait_text(5, 1, "     1")
        v.send("pgdn")
        v.wait_text(5, 1, "    11")
        v.send("pgdn", "pgup")
        v.wait_text(5, 1, "    11")
        for _ in range(20):
            v.send("down")
        v.wait_text(5, 1, "    14")  # scrolled by 3 once past the last row
        v.send("home")
        v.wait_text(5, 1, "     1")
        v.send("up")
        v.wait_text(5, 1, "     1")
        # The HEX column is highlighted on the cursor row, the number is not.
        v.wait_for(lambda: v.attr(5, 10).fg == "brown" and v.attr(5, 6).fg == "white",
                   "the HEX column highlighted")
        v.send("left")  # now the register number is, on the cursor row only
        v.wait_for(lambda: v.attr(5, 6).fg == "brown", "highlighted register number")
        self.assertEqual(v.attr(6, 6).fg, "white")
        v.wait_for(lambda: v.attr(5, 10).fg == "white", "the HEX column back to plain")
        self.escape_and_check_exit()

    def test_five_rows_page_by_three(self):
        v = self.start("-L5", "-R100")
        v.wait_text(5, 1, "   100")
        self.assertEqual(v.cell(10, 1, 8), "        ")
        v.send("pgdn")
        v.wait_text(5, 1, "   103")
        for _ in range(5):
            v.send("down")
        v.wait_text(5, 1, "   106")
        self.escape_and_check_exit()

    def test_hex_register_numbers(self):
        v = self.start("-X", "-R1F0")
        v.wait_text(5, 1, " 01F0 ")
        v.wait_text(24, 1, " 0203 ")
        v.send("left", "2", "0", "0", "enter")
        v.wait_text(5, 1, " 0200 ")
        self.escape_and_check_exit()

    def test_min_and_max_follow_the_values(self):
        v = self.start("-K", "-R10")
        v.wait_text(4, 1, "REGSTR  HEX   UNSIGN  SIGNED  STAT        MIN       MAX   ")
        for value in (5, 65533, 7):
            self.sim.cmd("set 4x 10 %d" % value)
            v.wait_text(5, 23, "%6d" % (value - 65536 if value > 32767 else value))
        v.wait_text(5, 40, "    -3")
        v.wait_text(5, 50, "     7")
        v.send("z")
        v.wait_text(5, 40, "     7")
        self.escape_and_check_exit()

    def test_silent_link_shows_errors_and_recovers(self):
        self.sim.cmd("set 4x 1 99")
        v = self.start("-S")
        v.wait_text(5, 15, "    99")
        self.sim.cmd("fault silent 1000000")
        v.wait_text(5, 9, "ERROR")
        v.wait_for(lambda: v.cell(24, 40, 40).strip() != "", "an error text on row 24")
        v.wait_text(24, 9, "ERROR")
        self.sim.cmd("fault none")
        v.wait_text(5, 15, "    99")
        self.escape_and_check_exit()

    def test_escape_on_a_silent_link_ends_at_once(self):
        v = self.start("-S")
        v.wait_text(5, 9, "0000")
        self.sim.cmd("fault silent 1000000")
        time.sleep(0.3)  # a read is now waiting for a reply that never comes
        began = time.monotonic()
        v.send("esc")
        self.assertEqual(v.finish(), 0)
        self.assertLess(time.monotonic() - began, 1.0)
        self.assertTrue(v.modes_restored())

    def test_peer_reset_and_garbage_keep_polling(self):
        v = self.start("-S")
        v.wait_text(5, 9, "0000")
        for fault in ("reset", "garbage", "overlength", "close"):
            self.sim.cmd("fault %s 3" % fault)
            v.wait_for(lambda: v.cell(24, 40, 40).strip() != "", "an error text after %s" % fault)
            self.assertIsNone(v.proc.poll())
        self.sim.cmd("fault none")
        time.sleep(0.3)
        v.pump(0.1)
        self.assertIsNone(v.proc.poll())
        self.escape_and_check_exit()

    def test_trapped_error_holds_until_f10(self):
        v = self.start("-T", "-S")
        v.wait_text(5, 9, "0000")
        self.sim.cmd("fault garbage 1")
        v.wait_for(lambda: "ERROR" in v.row(22), "the error window")
        requests = int(self.sim.cmd("count")[0])
        time.sleep(0.5)
        v.pump(0.05)
        self.assertEqual(int(self.sim.cmd("count")[0]), requests)  # held: no polling
        v.send("enter")  # not an acknowledgement
        time.sleep(0.2)
        v.pump(0.05)
        self.assertIn("ERROR", v.row(22))
        v.send("f10")
        v.wait_for(lambda: "ERROR" not in v.row(22), "the window closed")
        self.sim.cmd("set 4x 1 5")
        v.wait_text(5, 9, "0005")
        self.assertEqual(v.cell(24, 40, 40).strip(), "")  # under -T the text is not kept there
        self.escape_and_check_exit()

    def test_device_that_goes_away_and_comes_back(self):
        self.sim.cmd("set 4x 1 31")
        port = self.sim.ready
        v = self.start("-S")
        v.wait_text(5, 15, "    31")
        self.sim.stop()  # the peer closes its socket and stops listening
        v.wait_text(5, 9, "ERROR")
        # Each poll tries to connect again and says why it cannot.
        v.wait_text(24, 40, "Connect  WINSOCK error 10061")
        self.assertIsNone(v.proc.poll())
        self.sim = Sim([TCPSIM, "--port", port], self.dir)
        self.sim.cmd("set 4x 1 32")
        v.wait_text(5, 15, "    32")
        # Typed values reach the server on the new connection.
        v.send("2", "1", "enter")
        self.wait_memory("4x", 1, [0x21])
        # Stopped and started again once more: back by itself again.
        self.sim.stop()
        v.wait_text(24, 40, "Connect  WINSOCK error 10061")
        self.sim = Sim([TCPSIM, "--port", port], self.dir)
        self.sim.cmd("set 4x 1 33")
        v.wait_text(5, 15, "    33")
        self.escape_and_check_exit()

    def test_bit_views_show_and_write_references(self):
        self.sim.cmd("set 0x 1 1 0 1")
        self.sim.cmd("set 0x 12 1")
        v = self.start("-0")
        v.wait_text(5, 9, "0001")
        v.wait_text(6, 9, "0000")
        v.wait_text(7, 9, "0001")
        v.wait_text(16, 9, "0001")
        self.assertEqual(v.cell(4, 1, 35).rstrip(), "REGSTR  HEX   UNSIGN  SIGNED  STAT")
        v.send("down", "1", "enter")
        self.wait_memory("0x", 2, [1])
        v.send("0", "enter")
        self.wait_memory("0x", 2, [0])
        self.escape_and_check_exit()

    def test_inputs_are_shown_but_never_written(self):
        self.sim.cmd("set 1x 3 1")
        v = self.start("-1")
        v.wait_text(7, 9, "0001")
        v.send("5", "enter")
        time.sleep(0.3)
        self.assertEqual(self.get("1x", 1), [0])
        self.escape_and_check_exit()

    def test_input_registers_are_written_through_reference_type_3(self):
        self.sim.cmd("set 3x 5 777")
        v = self.start("-3", "-R5")
        v.wait_text(5, 15, "   777")
        v.send("right", "8", "8", "8", "enter")
        self.wait_memory("3x", 5, [888])
        self.escape_and_check_exit()

    def test_extended_memory_file_from_record_zero(self):
        self.sim.cmd("set 6x 3 0 11 12")
        v = self.start("-63")
        v.wait_text(5, 1, "     0  000B")
        v.send("down", "right", "1", "3", "enter")
        self.wait_memory("6x 3", 1, [13])
        v.send("pgdn", "home")
        v.wait_text(5, 1, "     0")
        self.escape_and_check_exit()

    def test_host_name_that_does_not_resolve(self):
        v = self.start(target="no-such-host.invalid")
        self.assertEqual(v.finish(), 1)
        self.assertIn(b"Can't open TCP connection to NO-SUCH-HOST.INVALID:502", bytes(v.raw))


class RtuOverTcp(TcpCase):
    sim_args = ["--rtu"]
    veldak_args = ["-E", "5"]

    def test_values_and_writes(self):
        self.sim.cmd("set 4x 1 321")
        v = self.start()
        v.wait_text(5, 15, "   321")
        v.send("F", "F", "enter")
        self.wait_memory("4x", 1, [255])
        self.escape_and_check_exit()


class BlockWrites(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="veldak-e2e-")
        self.server = LoggingServer()
        self.v = None

    def tearDown(self):
        if self.v:
            self.v.close()
        self.server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_a_block_goes_out_as_one_request(self):
        self.v = v = Veldak(VELDAK, ["127.0.0.1:%d" % self.server.port, "-M", "-S"], self.dir)
        v.wait_text(5, 9, "0000")
        v.send("1", "2", "3", "4", "down")
        v.wait_text(6, 9, "0000")
        time.sleep(0.3)
        v.pump(0.05)
        self.assertEqual(self.server.writes(), [])  # nothing written while the block grows
        v.wait_text(5, 9, "1234")  # the typed value stays on screen
        v.send("5", "down", "6", "enter")
        v.wait_for(lambda: self.server.writes() != [], "the block write")
        time.sleep(0.3)
        self.assertEqual(self.server.writes(), [(16, 1, 3)])
        self.assertEqual(self.server.memory[0:3], [0x1234, 5, 6])
        v.send("esc")
        self.assertEqual(v.finish(), 0)

    def test_single_writes_use_function_6_under_w(self):
        self.v = v = Veldak(VELDAK, ["127.0.0.1:%d" % self.server.port, "-W", "-S"], self.dir)
        v.wait_text(5, 9, "0000")
        v.send("4", "2", "enter")
        v.wait_for(lambda: self.server.writes() != [], "the write")
        self.assertEqual(self.server.writes(), [(6, 1, 1)])
        v.send("esc")
        self.assertEqual(v.finish(), 0)


if __name__ == "__main__":
    unittest.main()
