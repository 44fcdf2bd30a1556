"""The configuration editor, .VRX files and the printed reports, as a user
meets them in a real terminal; and a configuration carried from the module
simulator through the editor and a .VRX file back into the module."""
import os
import struct
import unittest

import harness


def vrx(count, records, magic=3111):
    """A configuration file: magic, count and records of packed words."""
    form = "<20H" if magic == 3111 else "<12H"
    return struct.pack("<HI", magic, count) + b"".join(
        struct.pack(form, *(list(r) + [0] * (struct.calcsize(form) // 2 - len(r))))
        for r in records)


class Session:
    """VRX740SW started in a fresh directory, linked to a Sy/Max simulator
    (the editor, files and reports never talk to the module)."""

    def setUp(self):
        self.wd = harness.Workdir()
        harness.write_setup(self.wd.path, baud=19200)
        self.sim = harness.SymaxSim(self.wd.path)
        self.prog = harness.Vrx740(self.wd.path)
        self.prog.wait_text(4, 1, "Configuration")

    def tearDown(self):
        self.prog.close()
        self.sim.stop()
        self.wd.close()

    def error(self, message):
        """Waits for an error message and clears it with F10."""
        self.prog.wait_error(message)
        self.prog.send("f10")
        self.prog.wait_gone(23, max(1, 77 - len(message)), message)

    def values(self, file, count, length, key, maxrec, windows):
        """Waits for the values of the editor; the field being edited shows
        its text left-aligned over fill characters."""
        p = self.prog
        for r, c, w, v in ((8, 21, 3, file), (8, 28, 3, count), (10, 29, 4, length),
                           (11, 29, 4, key), (12, 29, 5, maxrec), (13, 32, 2, windows)):
            p.wait_for(lambda: p.cell(r, c, w).replace("_", " ").strip() == str(v),
                       "%d at row %d column %d" % (v, r, c))
        p.wait_text(14, 29, "%-12s" % ("%d slots" % (maxrec + 1)))

    def budget(self, data, rack):
        self.prog.wait_text(17, 13, data if isinstance(data, str) else "%6d" % data)
        self.prog.wait_text(18, 15, rack if isinstance(rack, str) else "%4d" % rack)

    def read(self, name):
        with open(self.wd.file(name), "rb") as f:
            return f.read()

    def write(self, name, data):
        with open(self.wd.file(name), "wb") as f:
            f.write(data)

    def pick(self, menu_letter, title, name):
        """Load or save through the picker with a typed name."""
        self.prog.menu("c", menu_letter)
        self.prog.wait_anywhere(title)
        self.prog.send(name, "enter")

    def report(self, letter, title, name=None):
        """Prints a report, to the default name or a typed one."""
        p = self.prog
        p.menu("c", letter)
        p.wait_anywhere(title)
        p.wait_text(12, 22, "SYS$PRINT")
        p.send(*(([name] if name else []) + ["enter"]))

    def wait_closed(self, title):
        self.prog.wait_for(lambda: not any(title in r for r in self.prog.screen.display),
                           "%s to close" % title)


@harness.need_symax_sim
class EditorSession(Session, unittest.TestCase):

    def test_editing_session(self):
        p = self.prog
        p.menu("c", "e")
        p.wait_anywhere("EDIT CONFIGURATION")
        p.wait_text(17, 20, "of 523115 data storage registers available")
        self.values(1, 0, 0, 0, 0, 0)
        self.budget(523115, 2046)
        # No files: Page Down has nowhere to go. Then three files: their
        # parameter blocks and one data register each.
        p.send("pgdn", "up", "3", "enter")
        self.values(1, 3, 0, 0, 0, 0)
        self.budget(523112, 2034)
        # The cursor went on to the record length: 5000 is cut.
        p.send("5000", "enter")
        self.error("Record length exceeds 2039, truncating")
        self.values(1, 3, 2039, 0, 0, 0)
        self.budget(521073, 2034)
        # On to the maximum record: 70000 keeps its low 16 bits, too big a file.
        p.send("enter", "70000", "enter")
        self.error("Out of data storage registers")
        self.values(1, 3, 2039, 0, 4464, 0)
        self.budget("------", 2034)
        # F1 will not leave while the configuration does not fit.
        p.send("f1")
        self.error("Out of data storage registers")
        p.wait_anywhere("EDIT CONFIGURATION")
        p.send("up", "99", "enter")
        self.budget(319113, 2034)
        # One window of 2042 registers is more than the rack interface has left.
        p.send("1", "enter")
        self.error("Out of rack interface registers")
        self.budget(319113, "----")
        # ESC leaves anyway, after a warning; the window count stays.
        p.send("esc")
        self.error("Out of rack interface registers")
        self.error("WARNING: Configuration invalid")
        self.wait_closed("EDIT CONFIGURATION")
        p.wait_text(17, 1, " " * 80)
        p.wait_text(21, 1, " " * 80)

        p.menu("c", "e")
        self.error("Out of rack interface registers")
        self.values(1, 3, 2039, 0, 99, 1)
        p.send("down", "down", "down", "0", "enter")
        self.budget(319113, 2034)
        # Page Down stops on the last file, Page Up on the first.
        for file in (2, 3, 3):
            p.send("pgdn")
            p.wait_text(8, 21, "%3d" % file)
        p.wait_text(10, 29, "   0")
        for file in (2, 1, 1):
            p.send("pgup")
            p.wait_text(8, 21, "%3d" % file)
        p.wait_text(10, 29, "2039")
        # A file number past the configured files leaves the selection alone.
        for _ in range(5):
            p.send("up")
        p.send("2", "enter")
        p.wait_text(8, 21, "  2")
        p.send("up", "200", "enter", "enter", "7", "enter")
        p.wait_text(10, 29, "   7")
        self.assertEqual(p.cell(8, 21, 3), "  2")
        p.send("up", "up", "up", "3", "enter")
        self.values(3, 3, 0, 0, 0, 0)
        # Fewer files than the one shown: the selection moves to the new last.
        p.send("2", "enter")
        self.values(2, 2, 7, 0, 0, 0)
        p.send("pgdn", "pgup")
        self.values(1, 2, 2039, 0, 99, 0)
        p.send("f1")
        self.wait_closed("EDIT CONFIGURATION")
        # What the editor left is what the report prints.
        self.report("c", "PRINT CONFIGURATION", "edited.txt")
        p.wait_for(lambda: os.path.exists(self.wd.file("EDITED.TXT")), "EDITED.TXT")
        self.wait_closed("PRINT CONFIGURATION")
        self.assertIn(b"Record Length 2039 registers.     Key Length 0 registers.\r\n"
                      b" 0 Rack Interface Windows.     Maximum Record Number 99\r\n",
                      self.read("EDITED.TXT"))


@harness.need_symax_sim
class FilesAndReports(Session, unittest.TestCase):

    def edit_two_files(self):
        p = self.prog
        p.menu("c", "e")
        p.wait_anywhere("EDIT CONFIGURATION")
        p.send("up", "2", "enter", "10", "enter", "2", "enter", "99", "enter", "2", "enter")
        self.budget(523115 - 11 * 100 - 1, 2046 - 8 - 26)
        p.send("f1")
        self.wait_closed("EDIT CONFIGURATION")

    def test_files_and_reports(self):
        p = self.prog
        self.edit_two_files()
        self.pick("w", "SAVE CONFIGURATION TO DISK", "two")
        p.wait_for(lambda: os.path.exists(self.wd.file("TWO.VRX")), "TWO.VRX")
        self.wait_closed("SAVE CONFIGURATION TO DISK")
        saved = self.read("TWO.VRX")
        self.assertEqual(saved, vrx(2, [(10, 2, 99, 2, 6, 19), (0, 0, 0, 0)]))

        # Overwriting asks first; no goes back to the picker.
        self.pick("w", "SAVE CONFIGURATION TO DISK", "two")
        p.wait_anywhere("File exists, overwrite it?")
        p.send("n")
        p.wait_gone(23, 3, "File exists")
        p.send("esc")
        self.wait_closed("SAVE CONFIGURATION TO DISK")

        # Files that cannot be read leave the image alone.
        self.write("many.vrx", vrx(5000, [(1, 1, 1, 1)]))
        self.write("SHORT.VRX", saved[:-1])
        self.write("MAGIC.VRX", b"\x28" + saved[1:])
        for name in ("many", "short", "magic"):
            self.pick("l", "LOAD CONFIGURATION FROM DISK", name)
            self.error("Can't read disk file.")
            self.wait_closed("LOAD CONFIGURATION FROM DISK")
        self.pick("l", "LOAD CONFIGURATION FROM DISK", "gone")
        self.error('Can\'t open file "GONE.VRX" for read.')
        p.send("esc")
        self.wait_closed("LOAD CONFIGURATION FROM DISK")
        self.report("c", "PRINT CONFIGURATION")
        p.wait_for(lambda: os.path.exists(self.wd.file("SYS$PRINT")), "SYS$PRINT")
        self.wait_closed("PRINT CONFIGURATION")
        self.assertEqual(self.read("SYS$PRINT"), (
            b"                             VRX740 Configuration\r\n"
            b"                         ============================\r\n"
            b"Number of Files 2\r\n"
            b"------------------------------ FILE 1 ------------------------------\r\n"
            b"Record Length 10 registers.     Key Length 2 registers.\r\n"
            b" 2 Rack Interface Windows.     Maximum Record Number 99\r\n"
            b"------------------------------ FILE 2 ------------------------------\r\n"
            b"Record Length 0 registers.     Key Length 0 registers.\r\n"
            b" 0 Rack Interface Windows.     Maximum Record Number 0\r\n"
            b"---------------------------------------------------------------------\r\n"
            b"\x0c"))

        # A file the module could not hold is corrected, then the picker is
        # offered again.
        self.write("BIG.VRX", vrx(1, [(3000, 1, 0, 0)]))
        self.pick("l", "LOAD CONFIGURATION FROM DISK", "big")
        self.error("Record length exceeds 2039, truncating")
        p.wait_anywhere("LOAD CONFIGURATION FROM DISK")
        # The old format, found in lower case: windows capped at 8.
        self.write("old.vrx", vrx(1, [(10, 12, 7, 3)], magic=2111))
        p.send("old", "enter")
        self.wait_closed("LOAD CONFIGURATION FROM DISK")
        self.report("m", "PRINT INTERFACE MAP", "map")
        p.wait_for(lambda: os.path.exists(self.wd.file("MAP")), "MAP")
        self.wait_closed("PRINT INTERFACE MAP")
        lines = self.read("MAP").split(b"\r\n")
        self.assertIn(b"File 1   Window 8 Command Register   110          110", lines)
        self.assertEqual(lines[-1], b"\x0c")
        self.assertFalse(any(b"Window 9" in line for line in lines))

        # Writes that fail are reported, from both the save and the report.
        os.symlink("/dev/full", self.wd.file("FULL.VRX"))
        os.symlink("/dev/full", self.wd.file("FULL"))
        self.pick("w", "SAVE CONFIGURATION TO DISK", "full")
        p.wait_anywhere("File exists, overwrite it?")
        p.send("y")
        self.error("Can't write to disk file.")
        self.wait_closed("SAVE CONFIGURATION TO DISK")
        self.report("c", "PRINT CONFIGURATION", "full")
        self.error("Can't write to disk file.")
        self.wait_closed("PRINT CONFIGURATION")
        # A name that cannot be opened is asked for again; ESC leaves.
        os.mkdir(self.wd.file("DIR"))
        self.report("m", "PRINT INTERFACE MAP", "dir")
        self.error('Can\'t open file "DIR" for write.')
        p.wait_text(12, 22, "DIR")
        p.send("esc")
        self.wait_closed("PRINT INTERFACE MAP")


@harness.need_module_sim
class RoundTrip(Session, unittest.TestCase):
    """fetch, edit, save, load, send, fetch: the same image, in the module too."""

    def setUp(self):
        self.wd = harness.Workdir()
        harness.write_setup(self.wd.path, baud=19200)
        self.sim = harness.ModuleSim(self.wd.path)
        self.sim.cmd("preset 2 10 2 99 1 20 1 5 0")
        self.prog = harness.Vrx740(self.wd.path)
        self.prog.wait_text(4, 1, "Configuration")

    def fetch(self):
        self.prog.wait_gone(10, 20, "CONFIGURATION FETCHED")
        self.prog.menu("c", "f")
        self.prog.wait_anywhere("CONFIGURATION FETCHED")

    def save(self, name):
        self.pick("w", "SAVE CONFIGURATION TO DISK", name)
        self.prog.wait_for(lambda: os.path.exists(self.wd.file(name.upper() + ".VRX")), name)
        self.wait_closed("SAVE CONFIGURATION TO DISK")

    def test_round_trip(self):
        p = self.prog
        self.fetch()
        p.menu("c", "e")
        p.wait_anywhere("EDIT CONFIGURATION")
        self.values(1, 2, 10, 1, 99, 2)
        p.send("pgdn", "down", "down", "7", "enter", "3", "enter")
        self.values(2, 2, 20, 0, 7, 3)
        p.send("f1")
        self.wait_closed("EDIT CONFIGURATION")
        self.save("edited")
        # Something else in memory, then the file back.
        p.menu("c", "e")
        p.wait_anywhere("EDIT CONFIGURATION")
        p.send("up", "0", "enter", "f1")
        self.wait_closed("EDIT CONFIGURATION")
        self.pick("l", "LOAD CONFIGURATION FROM DISK", "edited")
        self.wait_closed("LOAD CONFIGURATION FROM DISK")
        p.menu("c", "s")
        p.wait_anywhere("All data in module will be lost. Continue?")
        p.send("y")
        p.wait_anywhere("Lock configuration?")
        p.send("n")
        p.wait_anywhere("CONFIGURATION SUCCESSFUL")
        self.assertEqual(self.sim.cmd("config"),
                         "2 10 2 99 1 20 3 7 0".split())
        p.menu("c", "e")
        p.wait_anywhere("EDIT CONFIGURATION")
        p.send("up", "0", "enter", "f1")
        self.wait_closed("EDIT CONFIGURATION")
        self.fetch()
        self.save("again")
        self.assertEqual(self.read("AGAIN.VRX"), self.read("EDITED.VRX"))
        self.assertEqual(self.read("EDITED.VRX"), vrx(2, [
            (10, 2, 99, 1, 6, 19), (20, 3, 7, 0, 36, 59, 82)]))


if __name__ == "__main__":
    unittest.main()
