"""Drives VELDAK in a real pseudo-terminal against the simulators.

The program runs on the slave side of a pty of 25 rows by 80 columns; what it
writes is fed to a pyte screen, keys are written as a terminal sends them.
Simulators run as child processes that print "READY ..." and answer one line
per command on standard input. Every process started here is stopped by its
own object (by pid), and every wait has a time limit. The pty and pipe pieces
are in pty_harness, which VRX740SW's harness shares.
"""
from pty_harness import KEYS, WAIT, LineChild, PtyProgram, Sim  # noqa: F401


class Veldak(PtyProgram):
    """VELDAK on a pty, its screen kept by pyte."""

    name = "VELDAK"

    def __init__(self, exe, args, cwd, rows=25, cols=80):
        super().__init__([exe] + list(args), cwd, rows, cols)
