"""Runs the Windows programs VELDAK.exe and VRX740SW.exe under wine in a real
pseudo-terminal, against our Linux simulators.

Wine's console writes to the pty it was started on, so the pyte screen and
the keys of tests/regedit_e2e/pty_harness serve as they do for the Linux
programs. A simulator's pty is made a COM port of the wine prefix through the
prefix's registry (HKLM\\Software\\Wine\\Ports); the prefix's server is then
stopped so that the next program sees the new mapping. Every test module
makes its own prefix in the build tree (WINE_E2E_PREFIXES) and stops its
server at the end, with WINEPREFIX set, so nothing of another prefix is
touched.

    prefix = WinePrefix("veldak")
    prefix.create()
    prefix.map_ports({"COM1": sim.ready})
    with WineProgram(prefix, VELDAK_EXE, ["COM1:9600,E,8,1"], cwd) as prog:
        ...
    prefix.close()
"""
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.append(os.path.join(HERE, "..", "regedit_e2e"))
import pty_harness  # noqa: E402


def _load(name, path):
    found = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


# VRX740SW's harness (its Workdir, setup file helpers, simulators and screen
# waits), loaded under its own name beside VELDAK's.
vrx = _load("vrx_harness", os.path.join(HERE, "..", "configurator_e2e", "harness.py"))

WINE = os.environ.get("WINE", "wine")
WINESERVER = os.environ.get("WINESERVER", "wineserver")
VELDAK_EXE = os.environ.get("VELDAK_EXE", "")
VRX740SW_EXE = os.environ.get("VRX740SW_EXE", "")
# The prefixes live in the build tree (ctest names the folder) or, run by
# hand, in the system's temporary folder: never among the sources.
PREFIXES = os.environ.get("WINE_E2E_PREFIXES",
                          os.path.join(tempfile.gettempdir(), "wine-e2e-prefixes"))
# Wine starts slowly, and a first start in a prefix more so.
WAIT = float(os.environ.get("WINE_E2E_WAIT", "60"))


def need_windows_programs(*exes):
    """Class decorator: skip when a Windows program is not built (an error
    instead when WINE_E2E_REQUIRED is set, as CI sets it)."""
    missing = [e for e in exes if not e or not os.path.isfile(e)]
    if not missing and shutil.which(WINE):
        return lambda cls: cls
    why = "Windows programs not built (%s) or wine missing" % ", ".join(missing or ["-"])
    if os.environ.get("WINE_E2E_REQUIRED"):
        raise RuntimeError(why)
    return unittest.skip(why)


class WinePrefix:
    """A wine prefix of its own: made afresh, COM ports mapped to ptys, its
    server stopped at the end."""

    def __init__(self, name):
        self.path = os.path.join(PREFIXES, name)
        self.env = {"WINEPREFIX": self.path, "WINEDEBUG": "-all",
                    "WINEDLLOVERRIDES": "mscoree,mshtml="}

    def run(self, argv, timeout=300):
        return subprocess.run(argv, env=dict(os.environ, **self.env), stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout)

    def create(self):
        """A fresh prefix; this process's children run in it from now on."""
        shutil.rmtree(self.path, ignore_errors=True)
        os.makedirs(PREFIXES, exist_ok=True)
        os.environ.update(self.env)
        done = self.run([WINE, "wineboot", "-i"])
        if done.returncode != 0:
            raise RuntimeError("wineboot: %s" % done.stdout.decode(errors="replace"))
        self.stop_server()

    def map_ports(self, ports):
        """ports: {"COM1": "/dev/pts/N", ...}; the next program sees them."""
        for name, device in ports.items():
            done = self.run([WINE, "reg", "add", r"HKLM\Software\Wine\Ports", "/v", name,
                             "/d", device, "/f"])
            if done.returncode != 0:
                raise RuntimeError("reg add %s: %s" % (name, done.stdout.decode(errors="replace")))
        self.stop_server()

    def stop_server(self):
        """Stops this prefix's server (WINEPREFIX is set: no other is touched)
        and waits, bounded, until it has gone."""
        self.run([WINESERVER, "-k"], timeout=60)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.run([WINESERVER, "-k"], timeout=60).returncode != 0:
                return  # no server left to stop
            time.sleep(0.2)

    def drive_path(self, unix_path):
        """The Windows name of a Linux path (wine's Z: is /)."""
        return "Z:" + unix_path.replace("/", "\\")

    def close(self):
        self.stop_server()
        shutil.rmtree(self.path, ignore_errors=True)


class WineProgram(pty_harness.PtyProgram):
    """A Windows program under wine on a pty, its screen kept by pyte."""

    wait = WAIT

    def __init__(self, exe, args, cwd, rows=25, cols=80):
        self.name = os.path.basename(exe)
        super().__init__([WINE, exe] + list(args), cwd, rows, cols)


class WineVrx740(vrx.Vrx740):
    """VRX740SW.exe under wine, with the screen waits of VRX740SW's harness."""

    wait = WAIT

    def __init__(self, cwd, args=(), exe=None, rows=25, cols=80):
        self.name = "VRX740SW.exe"
        pty_harness.PtyProgram.__init__(self, [WINE, exe or VRX740SW_EXE] + list(args), cwd,
                                        rows, cols)


def run_plain(argv, cwd, timeout=WAIT):
    """Runs a program without a terminal; (status, output with CR LF as LF)."""
    done = subprocess.run(argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=timeout)
    return done.returncode, done.stdout.replace(b"\r\n", b"\n").decode(errors="replace")
