#!/usr/bin/env python3
"""The Win32 console of VRX740SW.exe under wine, seen in a tmux pane.

wine's console shows itself in the terminal it was started in. A cmd line
writes a marker line and starts the program in a directory without a
setup file; the program's error window must come up with its box lines, F10
must clear it to the setup dialogue, ESC must leave that for the menu bar and
Q must quit. After the program the console must hold the marker line again
and none of the program's screen, and cmd must see exit status 0. A second run
ends with Ctrl-C instead: the marker line must be back all the same. The tmux
server of each run has its own socket and is killed at its end.

usage: console_tmux.py path/to/VRX740SW.exe WORKDIR   (WINE, WINEPREFIX set)
"""
import os
import shutil
import subprocess
import sys
import time

# each run of the program has a tmux server of its own
SOCKET_BASE = "win-console-%d" % os.getpid()
SOCKET = SOCKET_BASE
MARK = "BEFORE-THE-PROGRAM"


def tmux(*args):
    return subprocess.run(["tmux", "-L", SOCKET, "-f", "/dev/null", *args], check=True,
                          capture_output=True, text=True, timeout=20).stdout


def screen():
    return tmux("capture-pane", "-p", "-t", "win")


def wait_for(what, present=True, limit=60.0):
    """Polls the pane until the text shows (or has gone); fails after limit seconds."""
    end = time.monotonic() + limit
    while time.monotonic() < end:
        text = screen()
        if (what in text) == present:
            return text
        time.sleep(0.2)
    raise AssertionError("%r %s; the pane:\n%s" % (what, "never showed" if present else "stayed",
                                                   screen()))


def start(exe, work, tail, run):
    global SOCKET
    SOCKET = "%s-%s" % (SOCKET_BASE, run)
    wine = os.environ["WINE"]
    # the program's path as wine's Z: drive shows the Unix file system
    program = "Z:" + os.path.abspath(exe).replace("/", "\\")
    line = "echo %s & %s %s" % (MARK, program, tail)
    tmux("new-session", "-d", "-x", "100", "-y", "30", "-s", "win", "-c", work,
         "%s cmd /c '%s'; sleep 600" % (wine, line))


def stop():
    subprocess.run(["tmux", "-L", SOCKET, "kill-server"], capture_output=True, timeout=20)


def quit_by_menu(exe, work):
    start(exe, work, "& echo EXITED %errorlevel%", "quit")
    text = wait_for("Can't locate setup file.")
    assert "\u2554" in text and "\u2551" in text, "box lines missing:\n" + text
    tmux("send-keys", "-t", "win", "F10")
    text = wait_for("CONFIGURE VRX740 COMMUNICATIONS")
    assert "Can't locate setup file." not in text
    tmux("send-keys", "-t", "win", "Down")
    tmux("send-keys", "-t", "win", "Escape")
    wait_for("Configuration    Transfer    Backup")
    tmux("send-keys", "-t", "win", "q")
    text = wait_for("EXITED 0")
    assert MARK in text, "the console's contents did not come back:\n" + text
    assert "MAINTENANCE AND CONFIGURATION" not in text, text
    stop()


def quit_by_ctrl_c(exe, work):
    start(exe, work, "", "ctrl-c")
    wait_for("Can't locate setup file.")
    tmux("send-keys", "-t", "win", "C-c")
    text = wait_for("MAINTENANCE AND CONFIGURATION", present=False)
    assert MARK in text, "the console's contents did not come back:\n" + text
    stop()


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    exe, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    try:
        quit_by_menu(exe, work)
        quit_by_ctrl_c(exe, work)
    finally:
        stop()
        shutil.rmtree(work, ignore_errors=True)
    print("console taken over, keys read and the console given back, after Quit and Ctrl-C")
    return 0


if __name__ == "__main__":
    sys.exit(main())
