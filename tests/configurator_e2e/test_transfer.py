"""Data load, unload and record length conversion, end to end: VRX740SW in a
pty against the module simulator, one long script per dialogue."""
import os
import unittest

import harness

# Files of the module: record length, windows, highest record, key length.
# File 1 takes sequential loads, file 2 is keyed on its first register, file 3
# has records of one register and few numbers, file 4 has no window, file 5
# has long records for a transfer that lasts.
PRESET = "preset 5  3 2 200 0  2 1 50 1  1 1 10 0  2 0 10 0  120 1 3000 0"
# Window 1 of file 1: status at offset 2 + 4, its image two registers on.
FILE1_IMAGE = 8


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

    def transfer_form(self, item, kind, title):
        """Opens Transfer, the item (s, k, u) and the file type (h, b, d)."""
        p = self.prog
        p.send("t", item)
        p.wait_anywhere("Hex file")
        p.send(kind)
        p.wait_anywhere(title)

    def pick(self, row, col, name, ext):
        """Types a name into the picker whose field stands at row, col, and
        waits for the name with its extension there."""
        p = self.prog
        p.wait_text(14, 1, "[ parent ]")
        p.send(name, "enter")
        p.wait_text(row, col, name + ext)

    def fill(self, name, ext, file="", window="", start=None, count=None):
        """The fields of the load or unload form from the first on."""
        p = self.prog
        p.send(file, "enter")
        self.pick(8, 39, name, ext)
        p.send(window, "enter")
        if start is not None:
            p.send(start, "enter", count, "enter")

    def error(self, message, key="f10"):
        self.prog.wait_error(message)
        self.prog.send(key)
        self.prog.wait_gone(22, max(1, 75 - len(message)), "\u2554")

    def result(self, text):
        self.prog.wait_anywhere(text)
        self.prog.wait_text(24, 1, "Use initial capital")


@harness.need_module_sim
class TransferTest(unittest.TestCase):

    def test_load(self):
        s = Session(self)
        p = s.prog
        s.write("LOAD1.HEX", hex_lines([[i, 2 * i, 0xFFFF - i] for i in range(8)]))
        # Sequential hex load: five records from 100 on.
        s.transfer_form("s", "h", "SEQUENTIAL HEX FILE LOAD")
        s.fill("LOAD1", ".HEX", start="100", count="5")
        p.wait_anywhere("Proceed with load?")
        p.send("y")
        s.result("5 RECORDS TRANSFERRED")
        self.assertEqual(s.records(1), [100, 101, 102, 103, 104])
        self.assertEqual(s.record(1, 100), [0, 0, 0xFFFF])
        self.assertEqual(s.record(1, 104), [4, 8, 0xFFFB])

        # Keyed decimal load: a record with a known key replaces it, a new
        # key goes to the lowest free number; the start and count are not asked.
        s.sim.cmd("setrec 2 5 7 70")
        s.write("KEYS.DEC", b"7,700\r\n9,-1\r\n")
        s.transfer_form("k", "d", "KEYED DECIMAL FILE LOAD")
        s.fill("KEYS", ".DEC", file="2")
        p.wait_anywhere("Proceed with load?")
        self.assertNotIn("Starting record", p.text())
        p.send("y")
        s.result("2 RECORDS TRANSFERRED")
        self.assertEqual(s.records(2), [0, 5])
        self.assertEqual(s.record(2, 5), [7, 700])
        self.assertEqual(s.record(2, 0), [9, 65535])

        # Binary load of three records of one register, and one cut short.
        s.write("THREE.BIN", b"\x01\x00\x02\x00\x03\x00\x04")
        s.transfer_form("s", "b", "SEQUENTIAL BINARY FILE LOAD")
        s.fill("THREE", ".BIN", file="3", start="0", count="")
        p.wait_anywhere("Proceed with load?")
        p.send("y")
        s.result("3 RECORDS TRANSFERRED")
        self.assertEqual([s.record(3, r) for r in s.records(3)], [[1], [2], [3]])

        # Records past the file's last number are not sent, nor wrapped.
        s.transfer_form("s", "b", "SEQUENTIAL BINARY FILE LOAD")
        s.fill("THREE", ".BIN", file="3", start="9", count="")
        p.wait_anywhere("Proceed with load?")
        p.send("y")
        s.result("2 RECORDS TRANSFERRED")
        self.assertEqual(s.records(3), [0, 1, 2, 9, 10])
        self.assertEqual(s.sim.cmd("stats")[4], "refused=0")

        # A refused record is not counted and ends the load.
        s.sim.cmd("fault refuse 1")
        s.transfer_form("s", "h", "SEQUENTIAL HEX FILE LOAD")
        s.fill("LOAD1", ".HEX", start="0", count="")
        p.wait_anywhere("Proceed with load?")
        p.send("y")
        s.error("Record refused by module.")
        s.result("0 RECORDS TRANSFERRED")
        self.assertEqual(s.records(1), [100, 101, 102, 103, 104])

        # A write whose completion never shows is not counted either.
        s.sim.cmd("fault slow 20")
        s.transfer_form("s", "h", "SEQUENTIAL HEX FILE LOAD")
        s.fill("LOAD1", ".HEX", start="0", count="")
        p.wait_anywhere("Proceed with load?")
        p.send("y")
        s.error("Complete bit won't set.")
        s.result("0 RECORDS TRANSFERRED")
        s.sim.cmd("fault clear")

        # A data file that cannot be opened is named on the form and ends
        # the load before anything is sent.
        writes = s.sim.cmd("stats")[1]
        s.transfer_form("s", "h", "SEQUENTIAL HEX FILE LOAD")
        p.send("enter")
        s.pick(8, 39, "NOSUCH", ".HEX")
        s.error('Can\'t open file "NOSUCH.HEX" for read.')
        p.send("f1")
        p.wait_anywhere("Proceed with load?")
        p.send("y")
        s.error('Can\'t open file "NOSUCH.HEX" for read.')
        s.error("TRANSFER ABORTED")
        # A file without windows: nothing is sent to it.
        s.transfer_form("k", "h", "KEYED HEX FILE LOAD")
        s.fill("LOAD1", ".HEX", file="4")
        s.error("File 4 has no windows.")
        s.error("TRANSFER ABORTED")
        self.assertEqual(s.sim.cmd("stats")[1], writes)

        # ESC ends a long load at once.
        s.write("LONG.DEC", b"".join(b"%d,%s\r\n" % (i, b"1," * 118 + b"2")
                                     for i in range(3000)))
        s.transfer_form("s", "d", "SEQUENTIAL DECIMAL FILE LOAD")
        s.fill("LONG", ".DEC", file="5", start="0", count="3000")
        p.wait_anywhere("Proceed with load?")
        p.send("y")
        p.wait_for(lambda: p.cell(12, 20, 5).strip() not in ("", "0"), "a record counted")
        p.send("esc")
        s.error("TRANSFER ABORTED")
        p.wait_text(24, 1, "Use initial capital")
        loaded = len(s.records(5))
        self.assertGreater(loaded, 0)
        self.assertLess(loaded, 3000)
        p.send("q")
        self.assertEqual(p.finish(), 0)

    def test_unload(self):
        s = Session(self)
        p = s.prog
        data = hex_lines([[1, 2, 0xFFFF], [0x10, 0x20, 0x30], [0xABCD, 0, 0x7FFF]])
        s.write("IN.HEX", data)
        s.transfer_form("s", "h", "SEQUENTIAL HEX FILE LOAD")
        s.fill("IN", ".HEX", start="5", count="")
        p.wait_anywhere("Proceed with load?")
        p.send("y")
        s.result("3 RECORDS TRANSFERRED")

        # Unload to hex gives the loaded file back byte for byte.
        s.transfer_form("u", "h", "HEX FILE UNLOAD")
        s.fill("OUT", ".HEX", start="0", count="")
        p.wait_anywhere("Proceed with unload?")
        p.send("y")
        s.result("3 RECORDS TRANSFERRED")
        self.assertEqual(s.read("OUT.HEX"), data)

        # Decimal, from a starting record that is empty, two records only.
        s.transfer_form("u", "d", "DECIMAL FILE UNLOAD")
        s.fill("OUT", ".DEC", start="2", count="2")
        p.wait_anywhere("Proceed with unload?")
        p.send("y")
        s.result("2 RECORDS TRANSFERRED")
        self.assertEqual(s.read("OUT.DEC"), b"1,2,65535\r\n16,32,48\r\n")

        # An existing file is only replaced when the user says so.
        s.transfer_form("u", "b", "BINARY FILE UNLOAD")
        s.write("OUT.BIN", b"old")
        p.send("enter")
        s.pick(8, 39, "OUT", ".BIN")
        p.wait_anywhere("File exists, overwrite it?")
        p.send("n")
        s.pick(8, 39, "OUT", ".BIN")
        p.wait_anywhere("File exists, overwrite it?")
        p.send("y")
        p.wait_text(9, 39, "1_")
        p.send("f1")
        p.wait_anywhere("Proceed with unload?")
        p.send("y")
        s.result("3 RECORDS TRANSFERRED")
        self.assertEqual(s.read("OUT.BIN"),
                         bytes.fromhex("0100 0200 ffff 1000 2000 3000 cdab 0000 ff7f"))

        # An image read that fails writes no record, stale or otherwise.
        s.sim.cmd("fault failread %d 1" % FILE1_IMAGE)
        s.transfer_form("u", "h", "HEX FILE UNLOAD")
        s.fill("FAIL", ".HEX", start="0", count="")
        p.wait_anywhere("Proceed with unload?")
        p.send("y")
        s.error("Memory Error")
        s.result("0 RECORDS TRANSFERRED")
        self.assertEqual(s.read("FAIL.HEX"), b"")

        # A module too slow to answer ends the unload with the reason.
        s.sim.cmd("fault slow 20")
        s.transfer_form("u", "h", "HEX FILE UNLOAD")
        s.fill("SLOW", ".HEX", start="0", count="")
        p.wait_anywhere("Proceed with unload?")
        p.send("y")
        s.error("Complete bit won't set.")
        s.result("0 RECORDS TRANSFERRED")
        self.assertEqual(s.read("SLOW.HEX"), b"")
        s.sim.cmd("fault clear")

        # A data file that cannot be written is reported.
        os.symlink("/dev/full", s.wd.file("FULL.HEX"))
        s.transfer_form("u", "h", "HEX FILE UNLOAD")
        p.send("enter")
        s.pick(8, 39, "FULL", ".HEX")
        p.wait_anywhere("File exists, overwrite it?")
        p.send("y")
        p.wait_text(9, 39, "1_")
        p.send("f1")
        p.wait_anywhere("Proceed with unload?")
        p.send("y")
        s.error('Can\'t write file "FULL.HEX".')
        s.result("0 RECORDS TRANSFERRED")

        # ESC ends a long unload at once; the file holds whole records only.
        for r in range(400):
            s.sim.cmd("setrec 5 %d %s" % (r, " ".join([str(r)] * 120)))
        s.transfer_form("u", "d", "DECIMAL FILE UNLOAD")
        s.fill("MANY", ".DEC", file="5", start="0", count="")
        p.wait_anywhere("Proceed with unload?")
        p.send("y")
        p.wait_for(lambda: p.cell(12, 20, 5).strip() not in ("", "0"), "a record counted")
        p.send("esc")
        s.error("TRANSFER ABORTED")
        lines = s.read("MANY.DEC").split(b"\r\n")
        self.assertEqual(lines[-1], b"")
        self.assertLess(len(lines) - 1, 400)
        for r, line in enumerate(lines[:-1]):
            self.assertEqual(line, b",".join([b"%d" % r] * 120))
        p.send("q")
        self.assertEqual(p.finish(), 0)

    def open_conversion(self, s, kind, title):
        s.prog.send("u", "t")
        s.prog.wait_anywhere("Convert format")
        s.prog.send(kind)
        s.prog.wait_anywhere(title)

    def convert(self, s, kind, title, ext, source, target, lengths):
        self.open_conversion(s, kind, title)
        s.pick(7, 42, source, ext)
        exists = os.path.exists(s.wd.file(target + ext))
        s.pick(8, 42, target, ext)
        if exists:
            s.prog.wait_anywhere("File exists, overwrite it?")
            s.prog.send("y")
        s.prog.wait_text(9, 42, "1___")
        s.prog.send(*lengths)

    def test_conversion(self):
        s = Session(self)
        p = s.prog
        cases = [
            ("d", "DECIMAL FILE REFORMAT", ".DEC", b"1,2,3\r\n4,5,6\r\n",
             b"1,2,3,0,0\r\n4,5,6,0,0\r\n", b"1,2\r\n4,5\r\n"),
            ("h", "HEX FILE REFORMAT", ".HEX", b"0001 0002 -001\r\n0004 0005 0006\r\n00",
             b"0001,0002,FFFF,0000,0000\r\n0004,0005,0006,0000,0000\r\n",
             b"0001,0002\r\n0004,0005\r\n"),
            ("b", "BINARY FILE REFORMAT", ".BIN", bytes.fromhex("0100 0200 0300 0400 0500 0600 07"),
             bytes.fromhex("0100 0200 0300 0000 0000 0400 0500 0600 0000 0000"),
             bytes.fromhex("0100 0200 0400 0500")),
        ]
        for kind, title, ext, source, longer, shorter in cases:
            s.write("SRC" + ext, source)
            s.write("LONG" + ext, b"old")
            self.convert(s, kind, title, ext, "SRC", "LONG", ["3", "enter", "5", "enter"])
            s.result("2 RECORDS CONVERTED")
            self.assertEqual(s.read("LONG" + ext), longer, kind)
            self.convert(s, kind, title, ext, "SRC", "SHORT", ["3", "enter", "2", "f1"])
            s.result("2 RECORDS CONVERTED")
            self.assertEqual(s.read("SHORT" + ext), shorter, kind)

        # The output may not be the input, whatever the case of its name.
        s.write("same.dec", b"1,2,3\r\n")
        self.open_conversion(s, "d", "DECIMAL FILE REFORMAT")
        s.pick(7, 42, "SAME", ".DEC")
        s.pick(8, 42, "SAME", ".DEC")
        s.error('"SAME.DEC" is the input file.')
        # Lengths outside 1 to 2039 are refused on their field.
        s.pick(8, 42, "OTHER", ".DEC")
        p.send("0", "enter")
        s.error("Record length must be 1 to 2039.")
        p.send("2040", "enter")
        s.error("Record length must be 1 to 2039.")
        p.send("esc")
        s.error("CONVERSION ABORTED")
        self.assertEqual(s.read("same.dec"), b"1,2,3\r\n")
        self.assertFalse(os.path.exists(s.wd.file("OTHER.DEC")))

        # An input that cannot be opened is named when chosen and ends the
        # conversion when it starts.
        self.open_conversion(s, "d", "DECIMAL FILE REFORMAT")
        s.pick(7, 42, "NOSUCH", ".DEC")
        s.error('Can\'t open file "NOSUCH.DEC" for read.')
        s.pick(8, 42, "OTHER", ".DEC")
        p.send("f1")
        s.error('Can\'t open file "NOSUCH.DEC" for read.')
        s.error("CONVERSION ABORTED")
        self.assertFalse(os.path.exists(s.wd.file("OTHER.DEC")))
        p.send("q")
        self.assertEqual(p.finish(), 0)


if __name__ == "__main__":
    unittest.main()
