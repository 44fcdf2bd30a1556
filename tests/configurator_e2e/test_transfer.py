"""Data load, unload and record length conversion, end to end: VRX740SW in a
pty against the module simulator, one long script per dialogue."""
import os
import unittest

import harness

# Files of the module: record length, windows, highest record, key length.
# File 1 takes sequential loads, file 2 is keyed on its first register, file 3
# has records of one register and few numbers, file 4 has no window, file 5
# has long records for transfers that last.
PRESET = "preset 5  3 2 200 0  2 1 50 1  1 1 10 0  2 0 10 0  120 1 3000 0"
# Window 1 of file 1: status at offset 2 + 4, its image two registers on.
FILE1_IMAGE = 8
TYPES = {"h": ("HEX", ".HEX"), "b": ("BINARY", ".BIN"), "d": ("DECIMAL", ".DEC")}
TITLES = {"s": "SEQUENTIAL %s FILE LOAD", "k": "KEYED %s FILE LOAD", "u": "%s FILE UNLOAD"}


def hex_lines(records):
    return b"".join(b",".join(b"%04X" % v for v in r) + b"\r\n" for r in records)


class Session:
    """The simulator and the program in a fresh directory."""

    def __init__(self, test):
        self.wd = harness.Workdir()
        test.addCleanup(self.wd.close)
        harness.write_setup(self.wd.path, baud=19200)
        self.sim = harness.ModuleSim(self.wd.path)
        test.addCleanup(self.sim.stop)
        self.sim.cmd(PRESET)
        self.prog = harness.Vrx740(self.wd.path)
        test.addCleanup(self.prog.close)
        self.prog.wait_text(1, 17, "VRX740 MAINTENANCE")

    def write(self, name, data):
        with open(self.wd.file(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.wd.file(name), "rb") as f:
            return f.read()

    def record(self, f, r):
        return [int(v) for v in self.sim.cmd("record %d %d" % (f, r))]

    def records(self, f):
        return [int(v) for v in self.sim.cmd("records %d" % f)]

    def pick(self, row, col, name, ext):
        """Types a name into the picker whose field stands at row, col."""
        self.prog.wait_text(14, 1, "[ parent ]")
        self.prog.send(name, "enter")
        self.prog.wait_text(row, col, name + ext)

    def form(self, item, kind, name=None, file="", start=None, count=""):
        """Transfer, the item (s, k, u), the type (h, b, d), then the fields
        from the file number on (up to the picker when name is None)."""
        p = self.prog
        p.send("t", item)
        p.wait_anywhere("Hex file")
        p.send(kind)
        p.wait_anywhere(TITLES[item] % TYPES[kind][0])
        p.send(file, "enter")
        if name is not None:
            self.pick(8, 39, name, TYPES[kind][1])
            p.send("enter")
            if start is not None:
                p.send(start, "enter", count, "enter")

    def transfer(self, item, kind, name, **fields):
        """The form filled in, and yes to going on."""
        self.form(item, kind, name, **fields)
        self.prog.wait_anywhere("Proceed with %s?" % ("unload" if item == "u" else "load"))
        self.prog.send("y")

    def error(self, message):
        self.prog.wait_error(message)
        self.prog.send("f10")
        self.prog.wait_gone(22, max(1, 75 - len(message)), "\u2554")

    def result(self, text):
        self.prog.wait_anywhere(text)
        self.prog.wait_text(24, 1, "Use initial capital")

    def escape_when_counting(self, test, file):
        p = self.prog
        p.wait_for(lambda: p.cell(12, 20, 5).strip() not in ("", "0"), "a record counted")
        # Slow completions (within the poll limit) and slow replies keep each
        # command standing a while: ESC comes while one is polled.
        self.sim.cmd("fault slow 8")
        self.sim.cmd("fault delay 30")
        harness.escape_while_polled(p, self.sim, harness.command_offsets(PRESET)[file - 1][0])
        self.error("TRANSFER ABORTED")
        self.sim.cmd("fault clear")
        # the window is left without a command standing
        test.assertEqual(self.command(file), 0)

    def command(self, file, window=1):
        """The command register of a window of a file."""
        offset = harness.command_offsets(PRESET)[file - 1][window - 1]
        return int(self.sim.cmd("get %d" % offset)[0])

    def quit(self, test):
        self.prog.send("q")
        test.assertEqual(self.prog.finish(), 0)


@harness.need_module_sim
class TransferTest(unittest.TestCase):

    def test_load(self):
        s = Session(self)
        s.write("LOAD1.HEX", hex_lines([[i, 2 * i, 0xFFFF - i] for i in range(8)]))
        # The form opens on the default count; field 1 checks it against the file.
        s.prog.send("t", "s")
        s.prog.wait_anywhere("Hex file")
        s.prog.send("h")
        s.prog.wait_text(11, 39, "65536")
        s.prog.send("enter")
        s.prog.wait_text(11, 39, "201  ")
        s.prog.send("esc")
        s.error("TRANSFER ABORTED")
        s.transfer("s", "h", "LOAD1", start="100", count="5")
        s.result("5 RECORDS TRANSFERRED")
        self.assertEqual(s.records(1), [100, 101, 102, 103, 104])
        self.assertEqual([s.record(1, 100), s.record(1, 104)], [[0, 0, 0xFFFF], [4, 8, 0xFFFB]])

        # The last decimal number needs no separator after it.
        s.write("NOEND.DEC", b"1,2,3")
        s.transfer("s", "d", "NOEND", start="150")
        s.result("1 RECORDS TRANSFERRED")
        self.assertEqual(s.record(1, 150), [1, 2, 3])
        self.assertEqual(s.command(1), 0)
        s.sim.cmd("delrec 1 150")

        # Keyed: a known key replaces its record, a new one takes the lowest
        # free number; there is no starting record or count.
        s.sim.cmd("setrec 2 5 7 70")
        s.write("KEYS.DEC", b"7,700\r\n9,-1\r\n")
        s.transfer("k", "d", "KEYS", file="2")
        s.result("2 RECORDS TRANSFERRED")
        self.assertEqual([s.record(2, 0), s.record(2, 5)], [[9, 65535], [7, 700]])
        self.assertEqual(s.records(2), [0, 5])

        # Binary, three records and a byte; then past the file's last number
        # nothing is sent (nor wrapped).
        s.write("THREE.BIN", b"\x01\x00\x02\x00\x03\x00\x04")
        s.transfer("s", "b", "THREE", file="3", start="0")
        s.result("3 RECORDS TRANSFERRED")
        self.assertEqual([s.record(3, r) for r in s.records(3)], [[1], [2], [3]])
        s.transfer("s", "b", "THREE", file="3", start="9")
        s.result("2 RECORDS TRANSFERRED")
        self.assertEqual(s.records(3), [0, 1, 2, 9, 10])
        self.assertEqual(s.sim.cmd("stats")[4], "refused=0")

        # A refused record and a write that never completes are not counted,
        # and no record follows them (the slow module did store its one).
        for fault, words, stored in (("refuse 1", "Record refused by module.", []),
                                     ("slow 20", "Complete bit won't set.", [0])):
            s.sim.cmd("fault " + fault)
            s.transfer("s", "h", "LOAD1", start="0")
            s.error(words)
            s.result("0 RECORDS TRANSFERRED")
            s.sim.cmd("fault clear")
            self.assertEqual(s.records(1), stored + [100, 101, 102, 103, 104])

        # A data file that cannot be opened, or a file without windows: a
        # clear message, and nothing is sent.
        writes = s.sim.cmd("stats")[1]
        s.form("s", "h")
        s.pick(8, 39, "NOSUCH", ".HEX")
        s.error('Can\'t open file "NOSUCH.HEX" for read.')
        s.prog.send("f1")
        s.prog.wait_anywhere("Proceed with load?")
        s.prog.send("y")
        s.error('Can\'t open file "NOSUCH.HEX" for read.')
        s.error("TRANSFER ABORTED")
        s.form("k", "h", "LOAD1", file="4")
        s.error("File 4 has no windows.")
        s.error("TRANSFER ABORTED")
        self.assertEqual(s.sim.cmd("stats")[1], writes)

        # ESC ends a long load at once.
        s.write("LONG.DEC", b"".join(b"%d%s\r\n" % (i, b",1" * 119) for i in range(3000)))
        s.transfer("s", "d", "LONG", file="5", start="0", count="3000")
        s.escape_when_counting(self, 5)
        self.assertTrue(0 < len(s.records(5)) < 3000)
        s.quit(self)

    def test_unload(self):
        s = Session(self)
        data = hex_lines([[1, 2, 0xFFFF], [0x10, 0x20, 0x30], [0xABCD, 0, 0x7FFF]])
        s.write("IN.HEX", data)
        s.transfer("s", "h", "IN", start="5")
        s.result("3 RECORDS TRANSFERRED")
        # Hex gives the loaded file back byte for byte.
        s.transfer("u", "h", "OUT", start="0")
        s.result("3 RECORDS TRANSFERRED")
        self.assertEqual(s.read("OUT.HEX"), data)
        # Decimal from an empty starting record, two records only.
        s.transfer("u", "d", "OUT", start="2", count="2")
        s.result("2 RECORDS TRANSFERRED")
        self.assertEqual(s.read("OUT.DEC"), b"1,2,65535\r\n16,32,48\r\n")

        # An existing file is replaced only when the user says so.
        s.write("OUT.BIN", b"old")
        s.form("u", "b")
        for answer in "ny":
            s.pick(8, 39, "OUT", ".BIN")
            s.prog.wait_anywhere("File exists, overwrite it?")
            s.prog.send(answer)
        s.prog.wait_text(9, 39, "1_")
        s.prog.send("f1")
        s.prog.wait_anywhere("Proceed with unload?")
        s.prog.send("y")
        s.result("3 RECORDS TRANSFERRED")
        self.assertEqual(s.read("OUT.BIN"),
                         bytes.fromhex("0100 0200 ffff 1000 2000 3000 cdab 0000 ff7f"))

        # A failed image read or a module too slow to answer: the reason,
        # and no record, stale or otherwise.
        for name, fault, words in (("FAIL", "failread %d 1" % FILE1_IMAGE, "Memory Error"),
                                   ("SLOW", "slow 20", "Complete bit won't set.")):
            s.sim.cmd("fault " + fault)
            s.transfer("u", "h", name, start="0")
            s.error(words)
            s.result("0 RECORDS TRANSFERRED")
            self.assertEqual(s.read(name + ".HEX"), b"")
            s.sim.cmd("fault clear")

        # A data file that cannot be written is reported.
        os.symlink("/dev/full", s.wd.file("FULL.HEX"))
        s.form("u", "h")
        s.pick(8, 39, "FULL", ".HEX")
        s.prog.wait_anywhere("File exists, overwrite it?")
        s.prog.send("y", "f1")
        s.prog.wait_anywhere("Proceed with unload?")
        s.prog.send("y")
        s.error('Can\'t write file "FULL.HEX".')
        s.result("0 RECORDS TRANSFERRED")

        # ESC ends a long unload at once; the file holds whole records only.
        for r in range(400):
            s.sim.cmd("setrec 5 %d %s" % (r, " ".join([str(r)] * 120)))
        s.transfer("u", "d", "MANY", file="5", start="0")
        s.escape_when_counting(self, 5)
        lines = s.read("MANY.DEC").split(b"\r\n")
        self.assertTrue(lines[-1] == b"" and len(lines) - 1 < 400)
        self.assertEqual(lines[:-1], [b",".join([b"%d" % r] * 120) for r in range(len(lines) - 1)])
        s.quit(self)

    def test_scripted_load(self):
        """A command-line script loads a file, then answers a later form with
        /E: the load takes every record, and the script runs to its Quit."""
        wd = harness.Workdir()
        self.addCleanup(wd.close)
        harness.write_setup(wd.path, baud=19200)
        sim = harness.ModuleSim(wd.path)
        self.addCleanup(sim.stop)
        sim.cmd(PRESET)
        with open(wd.file("S.HEX"), "wb") as f:
            f.write(hex_lines([[i, i, i] for i in range(40)]))
        # Transfer, Sequential, Hex; file 1, S.HEX, window 1, from 0, all; yes.
        # Then the same form again, ESC on it, ESC on "TRANSFER ABORTED"; Quit.
        args = ["ts", "h/R", "S/R", "/R", "/R", "/R", "y", "tsh/E", "/E", "q"]
        prog = harness.Vrx740(wd.path, args=args)
        self.addCleanup(prog.close)
        self.assertEqual(prog.finish(), 0)
        self.assertEqual([int(r) for r in sim.cmd("records 1")], list(range(40)))
        self.assertEqual([int(v) for v in sim.cmd("record 1 39")], [39, 39, 39])

    def test_conversion(self):
        s = Session(self)

        def start(kind, source):
            s.prog.send("u", "t")
            s.prog.wait_anywhere("Convert format")
            s.prog.send(kind)
            s.prog.wait_anywhere("%s FILE REFORMAT" % TYPES[kind][0])
            s.pick(7, 42, source, TYPES[kind][1])

        cases = [
            ("d", b"1,2,3\r\n4,5,6\r\n", b"1,2,3,0,0\r\n4,5,6,0,0\r\n", b"1,2\r\n4,5\r\n"),
            ("h", b"0001 0002 -001\r\n0004 0005 0006\r\n00",
             b"0001,0002,FFFF,0000,0000\r\n0004,0005,0006,0000,0000\r\n",
             b"0001,0002\r\n0004,0005\r\n"),
            ("b", bytes.fromhex("0100 0200 0300 0400 0500 0600 07"),
             bytes.fromhex("0100 0200 0300 0000 0000 0400 0500 0600 0000 0000"),
             bytes.fromhex("0100 0200 0400 0500")),
        ]
        for kind, source, longer, shorter in cases:
            ext = TYPES[kind][1]
            s.write("SRC" + ext, source)
            s.write("LONG" + ext, b"old")
            for target, keys, expected in (("LONG", ("5", "enter"), longer),
                                           ("SHORT", ("2", "f1"), shorter)):
                start(kind, "SRC")
                s.pick(8, 42, target, ext)
                if target == "LONG":
                    s.prog.wait_anywhere("File exists, overwrite it?")
                    s.prog.send("y")
                s.prog.wait_text(9, 42, "1___")
                s.prog.send("3", "enter", *keys)
                s.result("2 RECORDS CONVERTED")
                self.assertEqual(s.read(target + ext), expected, kind)

        # The output may not be the input, whatever the case of its name;
        # lengths outside 1 to 2039 are refused on their field.
        s.write("same.dec", b"1,2,3\r\n")
        start("d", "SAME")
        s.pick(8, 42, "SAME", ".DEC")
        s.error('"SAME.DEC" is the input file.')
        s.pick(8, 42, "OTHER", ".DEC")
        for length in ("0", "2040"):
            s.prog.send(length, "enter")
            s.error("Record length must be 1 to 2039.")
        s.prog.send("esc")
        s.error("CONVERSION ABORTED")
        self.assertEqual(s.read("same.dec"), b"1,2,3\r\n")

        # An input that cannot be opened is named when chosen and ends the
        # conversion when it starts.
        start("d", "NOSUCH")
        s.error('Can\'t open file "NOSUCH.DEC" for read.')
        s.pick(8, 42, "OTHER", ".DEC")
        s.prog.send("f1")
        s.error('Can\'t open file "NOSUCH.DEC" for read.')
        s.error("CONVERSION ABORTED")
        self.assertFalse(os.path.exists(s.wd.file("OTHER.DEC")))
        s.quit(self)


if __name__ == "__main__":
    unittest.main()
