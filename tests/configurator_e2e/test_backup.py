"""Backup, restore and erase in a real terminal against the module simulator:
the bytes of a backup file, a round trip through erase and restore, failures
that leave the files on disk as they were, and write protection around an
erase."""
import os
import struct
import time
import unittest

import harness
from harness import ModuleSim, Vrx740, Workdir

END = struct.pack("<I", 65537)


def file_record(length, windows, maximum, key, offsets=()):
    offsets = (list(offsets) + [0] * 16)[:16]
    return struct.pack("<4H16H", length, windows, maximum, key, *offsets)


def entry(number, *words):
    return struct.pack("<I%dH" % len(words), number, *words)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


class Session:
    """The program and the simulator in one working directory."""

    def __init__(self, wd, sim, prog):
        self.wd, self.sim, self.prog = wd, sim, prog

    def menu_bar(self):
        self.prog.wait_text(4, 1, "Configuration")

    def pick(self, title, name):
        self.prog.wait_anywhere(title)
        self.prog.send(name, "enter")

    def backup(self, name, overwrite=False):
        self.prog.send("b", "b")
        self.pick("BACKUP MODULE TO DISK", name)
        if overwrite:
            self.prog.wait_anywhere("File exists, overwrite it?")
            self.prog.send("y")

    def restore(self, name):
        self.prog.send("b", "r")
        self.pick("RESTORE MODULE FROM DISK", name)

    def erase(self, file_number, window=None):
        """Fills the erase form; F1 goes on."""
        self.prog.send("u", "e")
        self.prog.wait_anywhere("ERASE VRX740 FILE")
        self.prog.wait_text(11, 20, "VRX740 File Number")
        keys = [str(file_number)]
        keys += ["enter", str(window), "enter"] if window else ["f1"]
        self.prog.send(*keys)

    def success(self, text):
        self.prog.wait_anywhere(text)
        self.menu_bar()

    def error(self, message):
        """Waits for the error window's message and clears it with F10."""
        self.prog.wait_error(message)
        self.prog.send("f10")
        self.prog.wait_gone(23, max(1, 77 - len(message)), message)

    def confirm(self, question, answer="y"):
        self.prog.wait_anywhere(question)
        self.prog.send(answer)
        self.prog.wait_for(lambda: question not in self.prog.text(), "the question to close")

    def closed(self, title):
        """Waits until the dialogue's window has gone."""
        self.prog.wait_for(lambda: title not in self.prog.text(), "%s to close" % title)

    def records(self, f):
        return [int(r) for r in self.sim.cmd("records %d" % f)]

    def image(self, f, r):
        return [int(v) for v in self.sim.cmd("record %d %d" % (f, r))]

    def lock(self):
        return int(self.sim.cmd("lock")[0])

    def listing(self):
        return sorted(os.listdir(self.wd.path))

    def command(self, preset, file):
        """The command register of the last window of a file (the one backup
        and restore use) of the module laid out by preset."""
        offset = harness.command_offsets(preset)[file - 1][-1]
        return int(self.sim.cmd("get %d" % offset)[0])


@harness.need_module_sim
class BackupAndRestore(unittest.TestCase):
    def setUp(self):
        self.wd = Workdir()

    def tearDown(self):
        self.wd.close()

    def session(self, sim_extra=(), **setup):
        harness.write_setup(self.wd.path, baud=19200, **setup)
        sim = ModuleSim(self.wd.path, extra=sim_extra)
        try:
            prog = Vrx740(self.wd.path)
        except Exception:
            sim.stop()
            raise
        s = Session(self.wd, sim, prog)
        self.addCleanup(sim.stop)
        self.addCleanup(prog.close)
        s.menu_bar()
        return s

    def finish(self, s):
        s.prog.send("q")
        self.assertEqual(s.prog.finish(), 0)
        s.prog.close()
        s.sim.stop()

    def test_file_layout_front_panel_and_plc_port(self):
        """Record length 2 with records 0 and 5: 70 bytes on the front panel,
        66 through the PLC port; the PLC backup restored on the front panel
        leaves the lock register alone."""
        layout = (struct.pack("<HI", 3211, 1) + file_record(2, 1, 9, 0, [6])
                  + entry(0, 0x1234, 0xABCD) + entry(5, 5, 0xFFFF) + END)

        s = self.session()
        s.sim.cmd("preset 1 2 1 9 0")
        s.sim.cmd("setrec 1 0 0x1234 0xABCD")
        s.sim.cmd("setrec 1 5 5 0xFFFF")
        s.sim.cmd("lock 1")
        s.backup("FRONT")
        s.success("BACKUP SUCCESSFUL")
        self.assertEqual(read(self.wd.file("FRONT.740")), layout + struct.pack("<I", 1))
        self.finish(s)

        s = self.session(sim_extra=["--plc", "1001"], plc_port=True, rack=1001)
        s.sim.cmd("preset 1 2 1 9 0")
        s.sim.cmd("setrec 1 0 0x1234 0xABCD")
        s.sim.cmd("setrec 1 5 5 0xFFFF")
        s.backup("PLC")
        s.success("BACKUP SUCCESSFUL")
        self.assertEqual(read(self.wd.file("PLC.740")), layout)
        # the front panel backup restored through the PLC port: records, no lock
        s.sim.cmd("preset 1 2 1 9 0")
        s.restore("FRONT")
        s.error("Not front panel connection.  Lock bits not restored.")
        s.success("RESTORE SUCCESSFUL")
        self.assertEqual(s.records(1), [0, 5])
        self.finish(s)

        s = self.session()
        s.sim.cmd("preset 1 2 1 9 0")
        s.sim.cmd("lock 16")
        s.restore("PLC")
        s.success("RESTORE SUCCESSFUL")
        self.assertEqual(s.records(1), [0, 5])
        self.assertEqual(s.image(1, 5), [5, 0xFFFF])
        self.assertEqual(s.lock(), 16)
        self.finish(s)

    def test_round_trip_and_failures(self):
        s = self.session()
        # a keyed file with gaps, a plain one, one without windows
        preset = "preset 3 3 2 20 1 1 1 4 0 2 0 3 0"
        s.sim.cmd(preset)
        for number, words in ((2, "7 1 2"), (7, "9 3 4"), (19, "11 5 65535")):
            s.sim.cmd("setrec 1 %d %s" % (number, words))
        s.sim.cmd("setrec 2 0 100")
        s.sim.cmd("setrec 2 4 104")
        s.sim.cmd("lock 1")
        s.backup("BK")
        s.success("BACKUP SUCCESSFUL")
        first = read(self.wd.file("BK.740"))
        # file 3 has no window: its list is its end mark alone, then the lock value
        self.assertEqual(first[-8:], END + struct.pack("<I", 1))

        # a file without windows cannot be erased
        s.erase(3)
        s.error("File 3 has no windows.")
        s.closed("ERASE VRX740 FILE")
        self.assertNotIn("ERASED", s.prog.text())
        s.erase(1)
        s.confirm("Proceed to delete all records?")
        s.success("FILE 1 ERASED")
        s.erase(2, window=1)
        s.confirm("Proceed to delete all records?")
        s.success("FILE 2 ERASED")
        self.assertEqual(s.records(1), [])
        self.assertEqual(s.records(2), [])

        # the configuration is locked: the restore offers to unlock it
        s.restore("BK")
        s.confirm("Configuration is locked. Unlock it?")
        s.success("RESTORE SUCCESSFUL")
        self.assertEqual(s.records(1), [2, 7, 19])
        self.assertEqual(s.image(1, 19), [11, 5, 65535])
        self.assertEqual(s.records(2), [0, 4])
        self.assertEqual(s.lock(), 1)
        s.backup("BK2")
        s.success("BACKUP SUCCESSFUL")
        self.assertEqual(read(self.wd.file("BK2.740")), first)

        # failed backups over BK leave it as it was, and nothing else behind
        files = s.listing()
        s.sim.cmd("fault wrapnext")
        s.backup("BK", overwrite=True)
        s.error("File 1: the module gave record 2 after record 19.")
        s.error("BACKUP FAILED")
        s.sim.cmd("fault clear")
        s.sim.cmd("fault failread 8191")
        s.backup("BK", overwrite=True)
        s.prog.wait_anywhere("Can't read lock register.")
        s.prog.send("f10")
        s.error("BACKUP FAILED")
        # slow reads, still within the backup's poll limit, and ESC part-way
        s.sim.cmd("fault slow 40")
        s.backup("BK", overwrite=True)
        s.prog.wait_anywhere("Backing up file: 1, record 2")
        harness.escape_while_polled(s.prog, s.sim, harness.command_offsets(preset)[0][-1])
        s.error("BACKUP ABORTED")
        self.assertEqual(s.command(preset, 1), 0)
        # too slow even for the backup: the read is taken back
        s.sim.cmd("fault slow 60")
        s.backup("BK", overwrite=True)
        s.error("Complete bit won't set.")
        s.error("BACKUP FAILED")
        self.assertEqual(s.command(preset, 1), 0)
        s.sim.cmd("fault clear")
        self.assertEqual(read(self.wd.file("BK.740")), first)
        self.assertEqual(s.listing(), files)

        # damaged backups are refused before the module is touched
        s.sim.cmd("setrec 2 1 101")
        write(self.wd.file("CUT.740"), first[:-14])
        s.restore("CUT")
        s.error("Can't read file. Records of file 2 are cut short.")
        s.error("RESTORE FAILED")
        write(self.wd.file("CUTLOCK.740"), first[:-2])
        s.restore("CUTLOCK")
        s.error("Can't read file. Its lock value is cut short.")
        s.error("RESTORE FAILED")
        many = struct.pack("<HI", 3211, 293) + file_record(1, 1, 0, 0) * 293 + END * 293
        write(self.wd.file("MANY.740"), many)
        s.restore("MANY")
        s.error("Backup file holds 293 files, more than 292.")
        s.closed("RESTORE MODULE FROM DISK")
        self.assertEqual(s.records(2), [0, 1, 4])
        self.assertEqual(read(self.wd.file("CUT.740")), first[:-14])

        # a record the module refuses fails the restore
        s.sim.cmd("lock 0")
        s.sim.cmd("fault refuse 1")
        s.restore("BK")
        s.error("File 1: the module refused record 2.")
        s.error("RESTORE FAILED")
        self.assertEqual(s.command(preset, 1), 0)
        self.assertEqual(read(self.wd.file("BK.740")), first)
        # ESC part-way through a slow restore
        s.sim.cmd("fault slow 40")
        s.restore("BK")
        s.prog.wait_anywhere("Restoring file: 1, record 7")
        harness.escape_while_polled(s.prog, s.sim, harness.command_offsets(preset)[0][-1])
        s.error("RESTORE ABORTED")
        s.sim.cmd("fault clear")
        self.assertEqual(s.command(preset, 1), 0)
        self.assertNotIn(19, s.records(1))
        # the progress line shows the whole record number
        write(self.wd.file("HIGH.740"), struct.pack("<HI", 3211, 1)
              + file_record(2, 1, 65535, 0, [6]) + entry(65535, 1, 2) + END)
        s.sim.cmd("fault refuse 1")
        s.restore("HIGH")
        s.prog.wait_error("File 1: the module refused record 65535.")
        s.prog.wait_text(12, 22, "Restoring file: 1, record 65535")
        s.prog.send("f10")
        s.error("RESTORE FAILED")

        # a file of the previous format: 24-byte file records, 8 windows at most
        old = (struct.pack("<HI", 2211, 1)
               + struct.pack("<4H8H", 3, 12, 4, 1, *range(6, 54, 6))
               + entry(4, 1, 2, 3) + END)
        write(self.wd.file("OLD.740"), old)
        s.restore("OLD")
        s.success("RESTORE SUCCESSFUL")
        self.assertEqual(s.sim.cmd("config"), ["1", "3", "8", "4", "1"])
        self.assertEqual(s.image(1, 4), [1, 2, 3])

        # a file padded to a whole block by a transfer tool restores
        write(self.wd.file("PAD.740"), first + b"\x1a" * (128 - len(first) % 128))
        s.restore("PAD")
        s.success("RESTORE SUCCESSFUL")
        self.assertEqual(s.records(1), [2, 7, 19])
        self.assertEqual(s.lock(), 1)
        # a configuration the module does not take: its words, then the
        # restore's, once; the next action finds no window left open
        s.sim.cmd("lock 0")
        s.sim.cmd("fault noactivate")
        s.restore("BK")
        s.error("CONFIGURATION FAILED")
        s.error("Couldn't load configuration.")
        s.closed("RESTORE MODULE FROM DISK")
        s.sim.cmd("fault clear")
        s.restore("BK")
        s.success("RESTORE SUCCESSFUL")
        self.finish(s)

    def test_hang_up_mid_backup_and_the_module_back(self):
        """The line hangs up part-way through a backup (the module's end of
        the cable goes): the backup fails and leaves no file. Once the module
        is back on the same COM1, the next actions work without a restart."""
        state = self.wd.file("module.txt")
        s = self.session(sim_extra=["--state", state])
        s.sim.cmd("preset 1 2 1 99 0")
        for number in range(40):
            s.sim.cmd("setrec 1 %d %d 7" % (number, number))
        s.sim.cmd("save %s" % state)
        files = s.listing()
        s.sim.cmd("fault slow 3")
        s.backup("HUNG")
        s.prog.wait_anywhere("Backing up file: 1, record")
        s.sim.stop()  # the pty closes, as a pulled adapter's does
        s.prog.wait_error("Port not available")
        s.prog.send("f10")
        s.error("BACKUP FAILED")
        self.assertEqual(s.listing(), [f for f in files if f != "COM1"])  # the link went with it
        # While the module is away, an action fails at once with the port's text.
        s.prog.menu("c", "f")
        s.error("Port not available")
        s.error("FETCH UNSUCCESSFUL")
        # The module is back on the same link: fetch and backup work.
        s.sim = ModuleSim(self.wd.path, extra=["--state", state])
        self.addCleanup(s.sim.stop)
        time.sleep(0.6)  # a user's next choice: past the half second between opens
        s.prog.menu("c", "f")
        s.success("CONFIGURATION FETCHED")
        s.backup("BACK")
        s.success("BACKUP SUCCESSFUL")
        self.assertEqual(len(read(self.wd.file("BACK.740"))) > 0, True)
        self.assertNotIn("HUNG.740", s.listing())
        self.finish(s)

    def test_erase_write_protected(self):
        s = self.session()
        s.sim.cmd("preset 1 2 2 9 0")
        s.sim.cmd("setrec 1 3 1 2")
        s.sim.cmd("lock 3")
        # yes, yes: erased and protected again
        s.erase(1, window=2)
        s.confirm("Proceed to delete all records?")
        s.confirm("Module write protected. Unprotect it?")
        s.confirm("Write protect module?")
        s.success("FILE 1 ERASED")
        self.assertEqual(s.records(1), [])
        self.assertEqual(s.lock(), 3)
        # no to the unprotect: nothing deleted
        s.sim.cmd("setrec 1 3 1 2")
        s.erase(1)
        s.confirm("Proceed to delete all records?")
        s.confirm("Module write protected. Unprotect it?", "n")
        s.error("DELETE ALL ABORTED")
        self.assertEqual(s.records(1), [3])
        # a delete-all that never completes is reported, and protection is still offered
        s.sim.cmd("fault slow 30")
        s.erase(1)
        s.confirm("Proceed to delete all records?")
        s.confirm("Module write protected. Unprotect it?")
        s.error("No Delete All completion status.")
        s.confirm("Write protect module?")
        s.closed("ERASE VRX740 FILE")
        self.assertNotIn("ERASED", s.prog.text())
        self.assertEqual(s.lock(), 3)
        s.sim.cmd("fault clear")
        # refused by the module: a failure, not "ERASED"
        s.sim.cmd("lock 1")
        s.sim.cmd("setrec 1 3 1 2")
        s.sim.cmd("fault refuse 1")
        s.erase(1)
        s.confirm("Proceed to delete all records?")
        s.error("Delete All refused by the module.")
        s.closed("ERASE VRX740 FILE")
        self.assertNotIn("ERASED", s.prog.text())
        self.assertEqual(s.records(1), [3])
        self.finish(s)


if __name__ == "__main__":
    unittest.main()
