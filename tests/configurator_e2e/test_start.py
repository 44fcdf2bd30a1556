"""VRX740SW start-up, setup dialogue, small dialogues and the command line,
in a real terminal with the Sy/Max simulator linked as COM1."""
import os
import unittest

import harness
from harness import Vrx740, SymaxSim, Workdir

SETUP = "VRX740SW.STP"


def main_menu(prog):
    """Waits for the menu bar on row 4."""
    prog.wait_text(4, 1, "Configuration")
    prog.wait_text(4, 73, "Quit")


def quit_program(prog):
    prog.send("q")
    assert prog.finish() == 0, prog.dump()
    assert prog.modes_restored(), "terminal modes not restored after Quit"


@harness.need_symax_sim
class SetupFile(unittest.TestCase):
    def setUp(self):
        self.wd = Workdir()
        self.sim = SymaxSim(self.wd.path, baud=19200)

    def tearDown(self):
        self.sim.stop()
        self.wd.close()

    def test_missing_file_dialogue_written_and_used_next_time(self):
        with Vrx740(self.wd.path) as prog:
            prog.wait_error("Can't locate setup file.")
            prog.send("f10")
            # the defaults
            prog.wait_text(5, 34, "CONFIGURE VRX740 COMMUNICATIONS")
            expected = {6: "Sy/Max COM:", 7: "COM1:", 8: "9600", 9: "8", 10: "1", 11: "EVEN",
                        12: "NONE", 13: "FRONT PANEL", 14: "1"}
            for row, text in expected.items():
                prog.wait_text(row, 46, text + " ")
            # Enter on None does nothing; the ring of types is Sy/Max, Net-to-Net, gateway
            prog.send("-")
            prog.wait_text(6, 46, "Gateway COM:")
            prog.send(" ")
            prog.wait_text(6, 46, "Sy/Max COM: ")
            prog.send("enter", "down", "right", "right")
            prog.wait_text(8, 46, "19200")
            prog.send("f1")
            prog.wait_anywhere("Write setup to startup file?")
            prog.send("y")
            prog.wait_gone(5, 34, "CONFIGURE VRX740")
            main_menu(prog)
            quit_program(prog)
        with open(self.wd.file(SETUP), "rb") as f:
            self.assertEqual(f.read(), harness.setup_bytes(baud=19200))

        # the next run reads it: no message, the dialogue shows the new rate
        with Vrx740(self.wd.path) as prog:
            main_menu(prog)
            self.assertNotIn("ERROR", prog.text())
            prog.send("s")
            prog.wait_text(8, 46, "19200")
            prog.send("esc")
            prog.wait_gone(5, 34, "CONFIGURE VRX740")
            self.assertNotIn("Edit aborted", prog.text())
            quit_program(prog)

    def test_short_and_bad_files_open_the_dialogue(self):
        with open(self.wd.file(SETUP), "wb") as f:
            f.write(harness.setup_bytes(baud=19200)[:20])
        with Vrx740(self.wd.path) as prog:
            prog.wait_error("Can't read setup file. Use SETUP to change it")
            prog.send("f10")
            prog.wait_text(8, 46, "9600 ")
            prog.send("esc")
            main_menu(prog)
            quit_program(prog)

        # a route of nine drops: the good fields are kept, the route is not
        data = bytearray(harness.setup_bytes(baud=19200, parity=2))
        data[14] = 9
        with open(self.wd.file(SETUP), "wb") as f:
            f.write(data)
        with Vrx740(self.wd.path) as prog:
            prog.wait_error("Can't read setup file. Use SETUP to change it")
            prog.send("f10")
            prog.wait_text(8, 46, "19200")
            prog.wait_text(11, 46, "ODD ")
            prog.wait_text(12, 46, "NONE")
            prog.send("esc")
            main_menu(prog)
            quit_program(prog)

    def test_escape_after_changes_restores_the_record(self):
        harness.write_setup(self.wd.path, baud=19200)
        with Vrx740(self.wd.path) as prog:
            main_menu(prog)
            prog.send("s")
            prog.wait_text(11, 46, "EVEN")
            # Port, Baud rate, Stop bits, then Parity
            prog.send("enter", "down", "down", "down", "right")
            prog.wait_text(11, 46, "ODD ")
            prog.send("esc")
            prog.wait_error("Edit aborted by ESC. Modifications lost.")
            prog.send("f10")
            prog.wait_gone(5, 34, "CONFIGURE VRX740")
            # Up from the first field goes back to the type; ESC there with no change says nothing
            prog.send("s")
            prog.wait_text(11, 46, "EVEN")
            prog.send("enter", "up")
            prog.wait_text(6, 46, "Sy/Max COM:")
            prog.send("esc")
            prog.wait_gone(5, 34, "CONFIGURE VRX740")
            self.assertNotIn("Edit aborted", prog.text())
            quit_program(prog)
        self.assertEqual(harness.read_setup(self.wd.path)[6], 1)

    def test_sylink_type_never_traps_the_dialogue(self):
        harness.write_setup(self.wd.path, connection=4, base=3)
        with Vrx740(self.wd.path) as prog:
            prog.wait_error("Unable to establish link.")
            prog.send("f10")
            main_menu(prog)
            prog.send("s")
            prog.wait_text(6, 46, "Sy/Link Direct")
            prog.wait_text(7, 30, "   Base address CD000-CD3FF")
            # nothing to edit: Enter and Down stay in the type phase
            prog.send("enter", "down", "+")
            prog.wait_text(6, 46, "Sy/Max COM:   ")
            prog.wait_text(14, 30, "   Rack address")
            prog.send("esc")
            prog.wait_error("Edit aborted by ESC. Modifications lost.")
            prog.send("f10")
            prog.send("s")
            prog.wait_text(6, 46, "Sy/Link Direct")
            # choosing a real type opens the link on COM1 and offers to write it
            prog.send(" ", "enter", "f1")
            prog.wait_anywhere("Write setup to startup file?")
            prog.send("n")
            prog.wait_gone(5, 34, "CONFIGURE VRX740")
            quit_program(prog)
        self.assertEqual(harness.read_setup(self.wd.path)[0], 4)

    def test_protect_items_need_the_front_panel(self):
        harness.write_setup(self.wd.path, plc_port=True, rack=1001)
        self.sim.cmd("set 8192 0")
        with Vrx740(self.wd.path) as prog:
            main_menu(prog)
            for item in ("l", "u", "s", "c"):
                prog.send("p", item)
                prog.wait_error("Must be connected to front module port")
                prog.send("f10")
                prog.wait_gone(23, 77 - 38, "Must be connected")
            quit_program(prog)
        self.assertEqual(self.sim.cmd("get 8192"), ["0"])
        self.assertEqual(self.sim.cmd("get 9192"), ["0"])

    def test_front_panel_protect_result_stays_until_the_next_choice(self):
        harness.write_setup(self.wd.path, baud=19200)
        self.sim.cmd("set 8192 4")
        result = "LOCK REGISTER MODIFIED"
        with Vrx740(self.wd.path) as prog:
            main_menu(prog)
            prog.send("p", "l")
            prog.wait_text(10, 29, result)
            self.assertEqual(self.sim.cmd("get 8192"), ["5"])
            prog.send("p", "s")
            prog.wait_for(lambda: self.sim.cmd("get 8192") == ["7"], "write protect set")
            # leaving the bar without a choice keeps the line
            prog.send("p")
            prog.wait_anywhere("Clear write protect")
            prog.send("esc", "esc")
            prog.wait_gone(6, 54, "Lock configuration")
            prog.wait_text(10, 29, result)
            # the next choice clears it
            prog.send("s")
            prog.wait_text(6, 46, "Sy/Max COM:")
            prog.send("esc")
            prog.wait_gone(5, 34, "CONFIGURE VRX740")
            prog.wait_text(10, 20, " " * 40)
            quit_program(prog)


@harness.need_symax_sim
class Dialogues(unittest.TestCase):
    def setUp(self):
        self.wd = Workdir()
        self.sim = SymaxSim(self.wd.path, baud=19200)
        harness.write_setup(self.wd.path, baud=19200)

    def tearDown(self):
        self.sim.stop()
        self.wd.close()

    def make(self, name):
        with open(self.wd.file(name), "w") as f:
            f.write("x\n")

    def test_delete_dialogues(self):
        self.make("conf1.vrx")
        self.make("KEEP.VRX")
        self.make("Data2.Bin")
        with Vrx740(self.wd.path) as prog:
            main_menu(prog)
            prog.send("c", "d")
            prog.wait_text(10, 20, "\u2554")
            prog.wait_anywhere("DELETE CONFIGURATION FILE")
            prog.wait_text(11, 22, "File to delete:")
            prog.wait_anywhere("CONF1")
            prog.send("conf1", "enter")
            prog.wait_for(lambda: not os.path.exists(self.wd.file("conf1.vrx")), "conf1.vrx deleted")
            prog.send("nothere", "enter")
            prog.wait_error('Can\'t find file "NOTHERE.VRX"')
            prog.send("f10")
            prog.send("esc")
            prog.wait_gone(11, 22, "File to delete:")
            self.assertTrue(os.path.exists(self.wd.file("KEEP.VRX")))

            # the file type comes first; ESC there shows no dialogue
            prog.send("t", "d")
            prog.wait_text(5, 18, "Delete file")
            prog.wait_anywhere("Decimal file")
            prog.send("esc")
            prog.wait_gone(5, 18, "Delete file")
            self.assertNotIn("File to delete:", prog.text())
            prog.send("t", "d", "b")
            prog.wait_anywhere("DELETE BINARY DATA FILE")
            prog.send("data2", "enter")
            prog.wait_for(lambda: not os.path.exists(self.wd.file("Data2.Bin")), "Data2.Bin deleted")
            prog.send("esc")
            prog.wait_gone(11, 22, "File to delete:")
            quit_program(prog)
        self.assertEqual(sorted(os.listdir(self.wd.path)), ["COM1", "KEEP.VRX", SETUP])

    def test_setup_and_link_stay_in_the_start_directory_after_browsing(self):
        # SUB has a COM1 too, but no port: a link opened there fails
        os.mkdir(self.wd.file("SUB"))
        open(self.wd.file("SUB/COM1"), "w").close()
        with Vrx740(self.wd.path) as prog:
            main_menu(prog)
            prog.send("c", "d")
            prog.wait_text(11, 22, "File to delete:")
            # [ parent ] first, then [SUB]: into SUB, and out of the dialogue
            prog.wait_text(15, 1, "[SUB")
            prog.send("down", "enter")
            prog.wait_gone(15, 1, "[SUB")
            prog.send("esc")
            prog.wait_gone(11, 22, "File to delete:")
            # a new route reopens the link on COM1, which only the start directory has
            prog.send("s", "enter", "down", "down", "down", "down")
            prog.send("5", "enter")
            prog.wait_text(12, 46, "5 ")
            prog.send("f1")
            prog.wait_anywhere("Write setup to startup file?")
            prog.send("y")
            prog.wait_gone(5, 34, "CONFIGURE VRX740")
            self.assertNotIn("Unable to establish link", prog.text())
            quit_program(prog)
        self.assertEqual(harness.read_setup(self.wd.path)[7:9], [1, 5])
        self.assertEqual(os.listdir(self.wd.file("SUB")), ["COM1"])

    def test_long_command_line_script_drives_the_menus_to_quit(self):
        self.make("GONE.VRX")
        # pull-downs left with ESC, the bar left with ESC, the setup dialogue,
        # the file-type menu and the delete dialogue left again
        rounds = "c/e/e" "s/e" "t/e/e" "td/e" "u/e/e" "cd/e"
        script = [rounds] * 20 + ["cdgone/r/e", "/", "q/"]
        keys = sum(len(harness_keys(a)) for a in script)
        self.assertGreaterEqual(keys, 300)
        with Vrx740(self.wd.path, args=script) as prog:
            self.assertEqual(prog.finish(), 0, prog.dump())
            self.assertTrue(prog.modes_restored())
        self.assertFalse(os.path.exists(self.wd.file("GONE.VRX")))

    def test_terminal_given_back_after_sigterm(self):
        with Vrx740(self.wd.path) as prog:
            main_menu(prog)
            prog.send("s")
            prog.wait_text(6, 46, "Sy/Max COM:")
            prog.terminate()
            prog.finish()
            self.assertTrue(prog.modes_restored(), "terminal modes not restored after SIGTERM")


def harness_keys(argument):
    """The keys one argument gives (R, E, D after a slash; other letters go)."""
    out = []
    i = 0
    while i < len(argument):
        c = argument[i]
        if c != "/":
            out.append(c)
            i += 1
            continue
        j = i + 1
        while j < len(argument) and argument[j].upper() not in "RED":
            j += 1
        if j < len(argument):
            out.append({"R": "\r", "E": "\x1b", "D": "\x7f"}[argument[j].upper()])
        i = j + 1
    return out


if __name__ == "__main__":
    unittest.main()
