"""Fetch, send and the Protect items against the module simulator, as a user
meets them in a real terminal: on the front panel and through the PLC port at
rack address 1001, with a locked module, a module that will not activate, a
link that goes silent, and a lock register that cannot be read."""
import os
import unittest

import harness

# Three files: windows of length 10 and 20, and a file without windows.
PRESET = "preset 3 10 2 99 2 20 1 49 0 5 0 9 5"
CONFIG = PRESET.split()[1:]


@harness.need_module_sim
class ModuleSession(unittest.TestCase):

    def setUp(self):
        self.wd = harness.Workdir()
        self.sim = None
        self.prog = None

    def tearDown(self):
        if self.prog:
            self.prog.close()
        if self.sim:
            self.sim.stop()
        self.wd.close()

    def start(self, plc=False):
        """The module simulator with the sample configuration and VRX740SW,
        both on the front panel or both through the PLC port at 1001."""
        harness.write_setup(self.wd.path, baud=19200, plc_port=plc, rack=1001 if plc else 1)
        self.sim = harness.ModuleSim(self.wd.path, extra=["--plc", "1001"] if plc else [])
        self.sim.cmd(PRESET)
        self.prog = harness.Vrx740(self.wd.path)
        self.prog.wait_text(4, 1, "Configuration")

    def stop(self):
        self.prog.send("q")
        self.assertEqual(self.prog.finish(), 0)
        self.prog.close()
        self.sim.stop()
        self.prog = self.sim = None

    def error(self, message):
        """Waits for an error message and clears it with F10."""
        self.prog.wait_error(message)
        self.prog.send("f10")
        self.prog.wait_gone(23, max(1, 77 - len(message)), message)

    def choose(self, *letters):
        """A menu choice; marks the output so far, so that a result line is
        only taken when it was written after the choice."""
        self.mark = len(self.prog.raw)
        self.prog.menu(*letters)

    def result(self, text):
        """Waits for the result line at row 10, written since the last choice."""
        p = self.prog
        p.wait_for(lambda: text.encode() in bytes(p.raw[self.mark:])
                   and p.cell(10, 20, 40) == text.center(40), "result %r" % text)

    def fetch(self):
        self.choose("c", "f")
        self.result("CONFIGURATION FETCHED")

    def save(self, name):
        """Writes the PC image to NAME.VRX; its bytes."""
        p = self.prog
        p.menu("c", "w")
        p.wait_anywhere("SAVE CONFIGURATION TO DISK")
        p.send(name, "enter")
        path = self.wd.file(name.upper() + ".VRX")
        p.wait_for(lambda: os.path.exists(path), path)
        p.wait_for(lambda: not any("SAVE CONFIGURATION" in r for r in p.screen.display),
                   "the save dialogue to close")
        with open(path, "rb") as f:
            return f.read()

    def send_config_asked(self):
        """Starts a send; the question whether the module's data may go is up."""
        self.choose("c", "s")
        self.prog.wait_anywhere("All data in module will be lost. Continue?")

    def send_config(self):
        """Starts a send and agrees that the module's data will be lost."""
        self.send_config_asked()
        self.prog.send("y")

    def test_front_panel_and_plc_port(self):
        self.start()
        p = self.prog
        self.fetch()
        front = self.save("front")

        # No to the warning sends nothing: the records are still there after
        # the next fetch has been over the link.
        self.sim.cmd("setrec 1 4 1 2 3 4 5 6 7 8 9 10")
        self.send_config_asked()
        p.send("n")
        p.wait_for(lambda: "All data in module" not in p.text(), "the warning to close")
        self.fetch()
        self.assertEqual(self.sim.cmd("records 1"), ["4"])

        # Send the fetched image back: the module holds it with no records.
        self.send_config()
        p.wait_anywhere("Lock configuration?")
        p.send("n")
        self.result("CONFIGURATION SUCCESSFUL")
        self.assertEqual(self.sim.cmd("config"), CONFIG)
        self.assertEqual(self.sim.cmd("records 1"), [])
        self.assertEqual(self.sim.cmd("lock"), ["0"])
        self.fetch()
        self.assertEqual(self.save("again"), front)

        # A locked module offers to unlock, then to lock after success.
        self.sim.cmd("lock 1")
        self.sim.cmd("setrec 2 1")
        self.send_config()
        p.wait_anywhere("Configuration is locked. Unlock it?")
        p.send("y")
        p.wait_anywhere("Lock configuration?")
        self.assertEqual(self.sim.cmd("records 2"), [])
        p.send("y")
        self.result("LOCK REGISTER MODIFIED")
        self.assertEqual(self.sim.cmd("lock"), ["1"])
        # Still locked and the offer turned down: nothing changes.
        self.sim.cmd("setrec 2 1")
        self.send_config()
        p.wait_anywhere("Configuration is locked. Unlock it?")
        p.send("n")
        p.wait_gone(23, 3, "Configuration is locked.")
        self.assertEqual(self.sim.cmd("records 2"), ["1"])
        self.assertEqual(self.sim.cmd("lock"), ["1"])
        self.assertEqual(p.row(10).strip(), "")
        self.sim.cmd("lock 0")

        # A module that will not activate.
        self.sim.cmd("fault noactivate")
        self.send_config()
        self.error("CONFIGURATION FAILED")
        self.assertNotIn("SUCCESSFUL", p.row(10))
        self.sim.cmd("fault clear")

        # A link that goes silent while the question is up: the link's words,
        # then the result, and never a success.
        self.send_config_asked()
        self.sim.cmd("fault silent on")
        seen = len(p.raw)
        p.send("y")
        self.error("Read reply timeout")
        self.error("CONFIGURATION FAILED")
        self.assertNotIn(b"SUCCESSFUL", bytes(p.raw[seen:]))
        self.assertNotIn("SUCCESSFUL", p.row(10))
        # A fetch over the silent link leaves the image alone.
        self.choose("c", "f")
        self.error("Read reply timeout")
        self.error("FETCH UNSUCCESSFUL")
        self.sim.cmd("fault silent off")
        self.assertEqual(self.save("kept"), front)

        # The Protect items set and clear exactly their bit.
        self.sim.cmd("lock 0x8004")
        for letter, value in (("l", 0x8005), ("s", 0x8007), ("u", 0x8006), ("c", 0x8004)):
            self.choose("p", letter)
            self.result("LOCK REGISTER MODIFIED")
            self.assertEqual(self.sim.cmd("lock"), [str(value)])
        # A lock register that cannot be read is not written.
        self.sim.cmd("fault failread 8191 1")
        self.choose("p", "l")
        self.error("(27) Memory Error")
        self.error("COULD NOT ACCESS LOCK REGISTER")
        self.assertEqual(self.sim.cmd("lock"), [str(0x8004)])
        self.stop()

        # Through the PLC port at rack address 1001: the same image.
        self.start(plc=True)
        p = self.prog
        self.fetch()
        self.assertEqual(self.save("plc"), front)
        # A locked module there may be locked; no offer to unlock.
        self.sim.cmd("lock 1")
        self.send_config()
        self.error("Configuration may be locked.")
        self.assertNotIn("Unlock it?", p.text())
        self.assertEqual(self.sim.cmd("config"), CONFIG)
        self.sim.cmd("lock 0")
        self.send_config()
        # No offer to lock through the PLC port.
        self.result("CONFIGURATION SUCCESSFUL")
        self.assertNotIn("Lock configuration?", p.text())
        self.stop()


if __name__ == "__main__":
    unittest.main()
