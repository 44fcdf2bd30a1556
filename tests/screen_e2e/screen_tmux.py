#!/usr/bin/python3
"""End-to-end test of the screen library in tmux: a shell in an 80 by 25 pane
runs screen_demo between two `stty -g`; keys go in with send-keys (tmux's own
key sequences), the screen comes back with capture-pane. Checks the screen,
the colours, and that the shell's terminal modes are the same after a normal
exit and after a SIGTERM. The tmux server has its own socket and is killed at
the end.

usage: screen_tmux.py path/to/screen_demo
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DEMO = os.path.abspath(sys.argv[1])
SOCKET = "screen-e2e-%d" % os.getpid()
FAILURES = []


def check(cond, what):
    print(("ok    " if cond else "FAIL  ") + what)
    if not cond:
        FAILURES.append(what)


def tmux(*args):
    return subprocess.run(["tmux", "-L", SOCKET, "-f", "/dev/null", *args], check=True,
                          capture_output=True, text=True, timeout=10).stdout


def pane(escapes=False):
    return tmux("capture-pane", "-p", *(["-e"] if escapes else []), "-t", "demo").split("\n")


def keys(*names):
    tmux("send-keys", "-t", "demo", *names)


def wait_for(predicate, what, limit=5.0):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    check(False, what + " (timed out)")
    print("\n".join("   |" + line for line in pane()))
    return False


def row(r):
    lines = pane()
    return lines[r - 1] if r - 1 < len(lines) else ""


def start_demo(work):
    # the shell records its modes, runs the demo (pid in a file), then records them again
    keys("clear; stty -g > %s/before; sh -c 'echo $$ > %s/pid; exec %s'; echo \"EXIT $?\"; "
         "stty -g > %s/after" % (work, work, DEMO, work), "Enter")
    return wait_for(lambda: "SCREEN LIBRARY DEMONSTRATION" in row(1), "demo screen shown")


def modes_same(work):
    for _ in range(100):
        if os.path.exists(work + "/after") and os.path.getsize(work + "/after") > 0:
            break
        time.sleep(0.05)
    with open(work + "/before") as b, open(work + "/after") as a:
        return b.read() == a.read()


def normal_run(work):
    if not start_demo(work):
        return
    first = pane(escapes=True)[0]
    check("\x1b[93m" in first or "\x1b[93;44m" in first, "title bright yellow")
    check("\x1b[44m" in first, "blue background")
    check(row(6)[9] == "\u2554" and "REGISTER" in row(6), "framed window with its title")
    keys("a", "F2")
    wait_for(lambda: "F2 PRESSED 1" in row(3) and row(8)[19:23] == "A___", "typing and a hot key")
    keys("Enter")
    wait_for(lambda: "ERROR" in row(22) and "Value A needs four hex digits" in row(23), "error window")
    keys("F10")
    wait_for(lambda: "ERROR" not in row(22), "F10 closes the error window")
    keys("Home", "b", "End", "1", "2", "Enter")
    wait_for(lambda: "Accepted BA12" in row(10) and "CONFIRM" in row(22), "value accepted, question asked")
    keys("y")
    wait_for(lambda: any("EXIT 0" in line for line in pane()), "demo ends with status 0")
    check(any("demo: value BA12" in line for line in pane()), "the shell's screen is back with the output")
    check(modes_same(work), "terminal modes the same after a normal exit")


def terminated_run(work):
    for name in ("before", "after", "pid"):
        if os.path.exists(work + "/" + name):
            os.remove(work + "/" + name)
    if not start_demo(work):
        return
    with open(work + "/pid") as f:
        pid = int(f.read())
    os.kill(pid, signal.SIGTERM)
    wait_for(lambda: any("EXIT 143" in line for line in pane()), "SIGTERM ends the demo")
    check(modes_same(work), "terminal modes the same after SIGTERM")
    check(not any("REGISTER" in line for line in pane()), "the shell's screen is back after SIGTERM")


def main():
    if shutil.which("tmux") is None:
        print("tmux is not installed")
        return 1
    work = tempfile.mkdtemp(prefix="screen-tmux-")
    try:
        tmux("new-session", "-d", "-x", "80", "-y", "25", "-s", "demo", "env TERM=screen PS1='$ ' sh")
        normal_run(work)
        terminated_run(work)
    finally:
        subprocess.run(["tmux", "-L", SOCKET, "kill-server"], capture_output=True, timeout=10)
        shutil.rmtree(work, ignore_errors=True)
    print("%d failed" % len(FAILURES) if FAILURES else "all checks passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
