"""The configuration editor, .VRX files and the printed reports in a real
terminal, and a configuration carried from the module simulator through the
editor and a .VRX file back into the module."""
import os
import struct
import unittest

import harness


def vrx(count, records):
    """A configuration file: magic, count and records of twenty words."""
    return struct.pack("<HI", 3111, count) + b"".join(
        struct.pack("<20H", *(list(r) + [0] * (20 - len(r)))) for r in records)


class Session:
    """VRX740SW in a fresh directory, linked to a plain Sy/Max simulator
    (the editor, files and reports never talk to the module)."""

    def setUp(self, sim=None):
        self.wd = harness.Workdir()
        harness.write_setup(self.wd.path, baud=19200)
        self.sim = (sim or harness.SymaxSim)(self.wd.path)
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

    def values(self, *expected):
        """Waits for file number, count, record length, key, maximum record and
        windows; the field being edited shows its text over fill characters."""
        p = self.prog
        for (r, c, w), v in zip(((8, 21, 3), (8, 28, 3), (10, 29, 4), (11, 29, 4),
                                 (12, 29, 5), (13, 32, 2)), expected):
            p.wait_for(lambda: p.cell(r, c, w).replace("_", " ").strip() == str(v),
                       "%d at row %d column %d" % (v, r, c))
        p.wait_text(14, 29, "%-12s" % ("%d slots" % (expected[4] + 1)))

    def budget(self, data, rack):
        self.prog.wait_text(17, 13, data if isinstance(data, str) else "%6d" % data)
        self.prog.wait_text(18, 15, rack if isinstance(rack, str) else "%4d" % rack)

    def read(self, name):
        with open(self.wd.file(name), "rb") as f:
            return f.read()

    def dialog(self, letter, title, *keys):
        """Chooses a Configuration item, waits for its window, types keys."""
        self.prog.menu("c", letter)
        self.prog.wait_anywhere(title)
        self.prog.send(*keys)

    def closed(self, title, made=None):
        """Waits for a window to close (and for the file it makes)."""
        p = self.prog
        p.wait_for(lambda: not any(title in r for r in p.screen.display), title + " closed")
        if made:
            p.wait_for(lambda: os.path.exists(self.wd.file(made)), made)


@harness.need_symax_sim
class EditorSession(Session, unittest.TestCase):

    def test_editing_session(self):
        p = self.prog
        self.dialog("e", "EDIT CONFIGURATION")
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
        self.closed("EDIT CONFIGURATION")
        p.wait_text(17, 1, " " * 80)
        p.wait_text(21, 1, " " * 80)

        self.dialog("e", "EDIT CONFIGURATION")
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
        # A file number past the configured files selects a record beyond
        # the count, up to 292, to be prepared before the count is raised;
        # a number above 292 leaves the selection alone.
        for _ in range(5):
            p.send("up")
        p.send("200", "enter", "enter", "5", "enter")
        p.wait_text(10, 29, "   5")
        self.assertEqual(p.cell(8, 21, 3), "200")
        p.send("up", "up", "up", "293", "enter")
        p.wait_text(8, 21, "200")
        p.send("up", "2", "enter")
        p.wait_text(8, 21, "  2")
        p.send("enter", "7", "enter")
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
        self.closed("EDIT CONFIGURATION")


@harness.need_symax_sim
class FilesAndReports(Session, unittest.TestCase):

    def test_files_and_reports(self):
        p = self.prog
        self.dialog("e", "EDIT CONFIGURATION", "up", "2", "enter", "10", "enter", "2", "enter",
                    "99", "enter", "2", "enter")
        self.budget(523115 - 11 * 100 - 1, 2046 - 8 - 26)
        p.send("f1")
        self.closed("EDIT CONFIGURATION")
        self.dialog("w", "SAVE CONFIGURATION TO DISK", "two", "enter")
        self.closed("SAVE CONFIGURATION TO DISK", "TWO.VRX")
        saved = self.read("TWO.VRX")
        self.assertEqual(saved, vrx(2, [(10, 2, 99, 2, 6, 19), ()]))
        # Overwriting asks first; no goes back to the picker.
        self.dialog("w", "SAVE CONFIGURATION TO DISK", "two", "enter")
        p.wait_anywhere("File exists, overwrite it?")
        p.send("n")
        p.wait_gone(23, 3, "File exists")
        p.send("esc")
        self.closed("SAVE CONFIGURATION TO DISK")

        # Files that cannot be read leave the image alone (lower case found too).
        for name, data in (("many.vrx", vrx(5000, [(1, 1, 1, 1)])), ("SHORT.VRX", saved[:-1]),
                           ("MAGIC.VRX", b"\x28" + saved[1:])):
            with open(self.wd.file(name), "wb") as f:
                f.write(data)
            self.dialog("l", "LOAD CONFIGURATION FROM DISK", name[:-4], "enter")
            self.error("Can't read disk file.")
            self.closed("LOAD CONFIGURATION FROM DISK")
        self.dialog("w", "SAVE CONFIGURATION TO DISK", "same", "enter")
        self.closed("SAVE CONFIGURATION TO DISK", "SAME.VRX")
        self.assertEqual(self.read("SAME.VRX"), saved)

        self.dialog("c", "PRINT CONFIGURATION", "enter")
        self.closed("PRINT CONFIGURATION", "SYS$PRINT")
        report = self.read("SYS$PRINT")
        self.assertTrue(report.startswith(b"   ") and report.endswith(b"-\r\n\x0c"))
        self.assertIn(b"\r\nNumber of Files 2\r\n", report)
        # A report that does not reach the disk says so.
        os.symlink("/dev/full", self.wd.file("FULL"))
        self.dialog("m", "PRINT INTERFACE MAP", "full", "enter")
        self.error("Can't write to disk file.")
        self.closed("PRINT INTERFACE MAP")

        # Left on file 4 of 4; a loaded file of two files reopens on the first.
        self.dialog("e", "EDIT CONFIGURATION", "up", "4", "enter")
        self.values(1, 4, 10, 2, 99, 2)
        for file in (2, 3, 4):
            p.send("pgdn")
            p.wait_text(8, 21, "%3d" % file)
        p.send("f1")
        self.closed("EDIT CONFIGURATION")
        self.dialog("l", "LOAD CONFIGURATION FROM DISK", "two", "enter")
        self.closed("LOAD CONFIGURATION FROM DISK")
        self.dialog("e", "EDIT CONFIGURATION")
        self.values(1, 2, 10, 2, 99, 2)
        p.send("f1")
        self.closed("EDIT CONFIGURATION")


@harness.need_module_sim
class RoundTrip(Session, unittest.TestCase):
    """fetch, edit, save, load, send, fetch: the same image, in the module too."""

    def setUp(self):
        super().setUp(harness.ModuleSim)
        self.sim.cmd("preset 2 10 2 99 1 20 1 5 0")

    def fetch(self):
        self.prog.wait_gone(10, 20, "CONFIGURATION FETCHED")
        self.prog.menu("c", "f")
        self.prog.wait_anywhere("CONFIGURATION FETCHED")

    def save(self, name):
        self.dialog("w", "SAVE CONFIGURATION TO DISK", name, "enter")
        self.closed("SAVE CONFIGURATION TO DISK", name.upper() + ".VRX")

    def clear_image(self):
        self.dialog("e", "EDIT CONFIGURATION", "up", "0", "enter", "f1")
        self.closed("EDIT CONFIGURATION")

    def test_round_trip(self):
        p = self.prog
        self.fetch()
        self.dialog("e", "EDIT CONFIGURATION")
        self.values(1, 2, 10, 1, 99, 2)
        p.send("pgdn", "down", "down", "7", "enter", "3", "enter")
        self.values(2, 2, 20, 0, 7, 3)
        p.send("f1")
        self.closed("EDIT CONFIGURATION")
        self.save("edited")
        self.clear_image()
        self.dialog("l", "LOAD CONFIGURATION FROM DISK", "edited", "enter")
        self.closed("LOAD CONFIGURATION FROM DISK")
        self.dialog("s", "All data in module will be lost. Continue?", "y")
        p.wait_anywhere("Lock configuration?")
        p.send("n")
        p.wait_anywhere("CONFIGURATION SUCCESSFUL")
        self.assertEqual(self.sim.cmd("config"), "2 10 2 99 1 20 3 7 0".split())
        self.clear_image()
        self.fetch()
        self.save("again")
        self.assertEqual(self.read("AGAIN.VRX"), self.read("EDITED.VRX"))
        self.assertEqual(self.read("EDITED.VRX"),
                         vrx(2, [(10, 2, 99, 1, 6, 19), (20, 3, 7, 0, 36, 59, 82)]))


if __name__ == "__main__":
    unittest.main()
