"""Drives VRX740SW in a real pseudo-terminal against the simulators.

The program runs on the slave side of a pty of 25 rows by 80 columns in a
working directory the test chose; what it writes is fed to a pyte screen, keys
are written as a terminal sends them. Simulators (vrx740sim, symaxsim) run as
child processes linked as COMn in that directory; they print "READY ..." and
answer one line per command on standard input. Every process started here is
stopped by its own object (by pid), and every wait has a time limit.

    import harness
    with harness.Workdir() as wd:
        harness.write_setup(wd.path, baud=19200)
        with harness.ModuleSim(wd.path) as sim, harness.Vrx740(wd.path) as prog:
            prog.wait_text(1, 17, "VRX740 MAINTENANCE")
            prog.send("q")
            assert prog.finish() == 0
"""
import os
import shutil
import signal
import struct
import sys
import tempfile
import unittest

# The pty and pipe pieces are VELDAK's harness's.
sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "regedit_e2e"))
import pty_harness  # noqa: E402

KEYS = dict(pty_harness.KEYS, **{
    "end": b"\x1b[F", "del": b"\x1b[3~", "bksp": b"\x7f", "tab": b"\t",
    "f1": b"\x1bOP", "f2": b"\x1bOQ",
})

# Generous limits: the tests also run under the sanitizers.
WAIT = float(os.environ.get("VRX740_E2E_WAIT", "30"))

# Baud rate index of the setup record for a rate.
BAUD_RATES = [50, 75, 110, 135, 150, 300, 600, 1200, 1800, 2400, 3600, 4800,
              7200, 9600, 14400, 19200]

PROGRAM = os.environ.get("VRX740SW")
MODULE_SIM = os.environ.get("VRX740SIM")
SYMAX_SIM = os.environ.get("SYMAXSIM")


def need_module_sim(cls):
    """Class decorator: skip the tests when the module simulator is not built."""
    if not PROGRAM or not MODULE_SIM:
        return unittest.skip("VRX740SW or VRX740SIM not set")(cls)
    return cls


def need_symax_sim(cls):
    """Class decorator: skip the tests when the Sy/Max simulator is not built."""
    if not PROGRAM or not SYMAX_SIM:
        return unittest.skip("VRX740SW or SYMAXSIM not set")(cls)
    return cls


def command_offsets(preset):
    """The command register offsets of every window, file by file, of a
    simulator "preset n L W M K ..." line: the rack interface holds 2 global
    registers, then per file 4 parameters and its windows of L + 3."""
    words = [int(w) for w in preset.split()[1:]]
    pos, files = 2, []
    for i in range(words[0]):
        length, windows = words[1 + 4 * i], words[2 + 4 * i]
        pos += 4
        files.append([pos + w * (length + 3) + length + 2 for w in range(windows)])
        pos += windows * (length + 3)
    return files


def escape_while_polled(prog, sim, offset):
    """Types ESC while the module is being polled for the completion of the
    command standing in the command register at offset: between two looks
    the command stayed and the window's status was read again."""
    last = []

    def polled():
        words = sim.cmd("stats")
        reads = int([w for w in words if w.startswith("status_reads=")][0].split("=")[1])
        now = (int(sim.cmd("get %d" % offset)[0]), reads)
        seen = last[-1] if last else None
        last.append(now)
        return seen is not None and now[0] != 0 and now[0] == seen[0] and now[1] > seen[1]

    prog.wait_for(polled, "a command being polled")
    prog.send("esc")


class Workdir:
    """A fresh working directory, removed at the end."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="vrx740e2e-")

    def file(self, name):
        return os.path.join(self.path, name)

    def close(self):
        shutil.rmtree(self.path, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def setup_bytes(connection=1, port=0, base=0, baud=19200, data_bits=1, stop_bits=0,
                parity=1, route=(), synet_speed=0, synet_size=0, plc_port=False,
                rack=1):
    """The 40 bytes of a setup file: twenty little-endian words. baud is a
    rate from BAUD_RATES (or an index below 16)."""
    index = BAUD_RATES.index(baud) if baud >= 16 else baud
    drops = list(route) + [0] * (8 - len(route))
    words = [connection, port, base, index, data_bits, stop_bits, parity, len(route)]
    words += drops[:8] + [synet_speed, synet_size, 1 if plc_port else 0, rack]
    return struct.pack("<20H", *words)


def write_setup(directory, **fields):
    """Writes VRX740SW.STP in directory (fields as for setup_bytes)."""
    path = os.path.join(directory, "VRX740SW.STP")
    with open(path, "wb") as f:
        f.write(setup_bytes(**fields))
    return path


def read_setup(directory):
    """The twenty words of the setup file in directory."""
    with open(os.path.join(directory, "VRX740SW.STP"), "rb") as f:
        data = f.read()
    if len(data) != 40:
        raise AssertionError("setup file holds %d bytes" % len(data))
    return list(struct.unpack("<20H", data))


class Sim(pty_harness.Sim):
    """A simulator: READY line first, then one answer line per command."""

    wait = WAIT
    stop_wait = 10


class ModuleSim(Sim):
    """vrx740sim linked as <directory>/COMn. Extra options (for example
    ["--plc", "1001"] or ["--state", path]) go after the link and baud."""

    def __init__(self, directory, port=1, baud=19200, extra=(), exe=None):
        argv = [exe or MODULE_SIM, "--link", os.path.join(directory, "COM%d" % port),
                "--baud", str(baud)] + list(extra)
        super().__init__(argv, directory)


class SymaxSim(Sim):
    """symaxsim (a plain Sy/Max register slave) linked as <directory>/COMn."""

    def __init__(self, directory, port=1, baud=19200, extra=(), exe=None):
        argv = [exe or SYMAX_SIM, "--link", os.path.join(directory, "COM%d" % port),
                "--baud", str(baud)] + list(extra)
        super().__init__(argv, directory)


class Vrx740(pty_harness.PtyProgram):
    """VRX740SW on a pty in a working directory, its screen kept by pyte."""

    name = "VRX740SW"
    keys = KEYS
    wait = WAIT

    def __init__(self, cwd, args=(), exe=None, rows=25, cols=80):
        super().__init__([exe or PROGRAM] + list(args), cwd, rows, cols)

    def text(self):
        return "\n".join(self.screen.display)

    def wait_anywhere(self, text, timeout=WAIT):
        """Waits until text stands somewhere on the screen."""
        self.wait_for(lambda: any(text in line for line in self.screen.display),
                      "%r on the screen" % text, timeout)

    def wait_gone(self, r, c, text, timeout=WAIT):
        """Waits until text no longer stands at row r, column c."""
        self.wait_for(lambda: self.cell(r, c, len(text)) != text,
                      "%r to leave row %d column %d" % (text, r, c), timeout)

    def wait_error(self, message, timeout=WAIT):
        """Waits for the error window's message (row 23, column 77 - len)."""
        col = max(1, 77 - len(message))
        self.wait_text(23, col, message, timeout)

    def menu(self, *letters):
        """Chooses from the menu bar by initial letters, e.g. menu("c", "f")."""
        self.send(*letters)

    def terminate(self):
        """Sends SIGTERM to the program."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
