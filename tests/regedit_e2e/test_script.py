"""VELDAK's runs of polls without the screen (--once, --count), end to end:
the real program on pipes against the simulators on ptys and loopback and
against pymodbus's server; data on standard output or in a file, messages on
standard error, exit status, stop by signal, and the link statistics after
injected faults."""
import csv
import datetime
import io
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Sim, Veldak, WAIT  # noqa: E402

VELDAK = os.environ["VELDAK"]
TCPSIM = os.environ["MODBUSTCPSIM"]
SYMAXSIM = os.environ["SYMAXSIM"]
SERIALSIM = os.environ["MODBUS_SERIAL_SIM"]
PYMODBUS_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                               "interop_tcp", "pymodbus_server.py")
BANNER = "Corvane Sy/Max Register Editor VELDAK 05Oct2004\n"
RUN_LIMIT = 120  # seconds any one run may take (sanitizer builds are slow)


def have_pymodbus():
    return subprocess.run([sys.executable, "-c", "import pymodbus.server"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def stats_of(stderr):
    """The counters of the statistics line on standard error."""
    line = [x for x in stderr.splitlines() if x.startswith("VELDAK statistics:")]
    if len(line) != 1:
        raise AssertionError("no single statistics line in %r" % stderr)
    return {k: v for k, v in re.findall(r"(\w+)=([\d.]+%?)", line[0])}


def parse_time(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ")


class ScriptCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="veldak-script-")
        self.sims = []

    def tearDown(self):
        for sim in self.sims:
            sim.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def sim(self, argv, link=None):
        if link:
            argv = argv + ["--link", os.path.join(self.dir, link)]
        s = Sim(argv, self.dir)
        self.sims.append(s)
        return s

    def run_veldak(self, *args):
        p = subprocess.run([VELDAK] + list(args), stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=self.dir,
                           timeout=RUN_LIMIT)
        return p.returncode, p.stdout.decode(), p.stderr.decode()

    def assertBannerOnStderr(self, err):
        self.assertTrue(err.startswith(BANNER), err)


class Once(ScriptCase):
    def test_symax_text_json_and_csv(self):
        sim = self.sim([SYMAXSIM], link="COM1")
        sim.cmd("set 1 4660 65535 7")
        sim.cmd("set 8193 0xABCD")
        status, out, err = self.run_veldak("COM1:9600,E,8,1", "-L3", "--once")
        self.assertEqual(status, 0, err)
        self.assertBannerOnStderr(err)
        self.assertEqual(out, "     1  1234    4660    4660  ABCD\n"
                              "     2  FFFF   65535      -1  0000\n"
                              "     3  0007       7       7  0000\n")
        status, out, err = self.run_veldak("COM1:9600,E,8,1", "-L2", "-S", "--once",
                                           "--format", "json", "--type", "s16")
        self.assertEqual(status, 0, err)
        record = json.loads(out)
        self.assertEqual(record["values"], [4660, -1])
        self.assertEqual((record["start"], record["view"], record["status"], record["error"]),
                         (1, "4X", None, None))
        parse_time(record["time"])
        status, out, err = self.run_veldak("COM1:9600,E,8,1", "-R2", "-L2", "--once",
                                           "--format", "csv", "--type", "u32")
        self.assertEqual(status, 0, err)
        rows = list(csv.reader(io.StringIO(out)))
        self.assertEqual(rows[0], ["time", "start", "40002", "S40002", "S40003", "error"])
        self.assertEqual(rows[1][1:], ["2", str(0xFFFF0007), "0000", "0000", ""])

    def test_modbus_rtu(self):
        sim = self.sim([SERIALSIM, "--rtu", "--slave", "7"], link="COM2")
        sim.cmd("set 4x 1 16457 4059 0 0")
        sim.cmd("set 3x 10 1 2")
        status, out, err = self.run_veldak("COM2:9600,E,8,1", "7", "-B", "-S", "-L2",
                                           "--once", "--format", "json", "--type", "f32")
        self.assertEqual(status, 0, err)
        self.assertAlmostEqual(json.loads(out)["values"][0], 3.14159274, places=7)
        status, out, err = self.run_veldak("COM2:9600,E,8,1", "7", "-B", "-3", "-R10", "-L2",
                                           "--once", "--format", "csv")
        self.assertEqual(status, 0, err)
        self.assertEqual(out.splitlines()[0], "time,start,30010,30011,error")
        self.assertTrue(out.splitlines()[1].endswith(",10,1,2,"), out)

    def test_modbus_tcp_simulator(self):
        sim = self.sim([TCPSIM])
        sim.cmd("set 4x 1 16457 4059 1 2")
        sim.cmd("set 0x 1 1 0 1")
        target = "127.0.0.1:" + sim.ready
        status, out, err = self.run_veldak(target, "-L4", "-S", "--once", "--type", "f32",
                                           "--order", "abcd", "--format", "json")
        self.assertEqual(status, 0, err)
        self.assertEqual(json.loads(out)["values"][0], 3.1415927)
        status, out, err = self.run_veldak(target, "-0", "-L4", "--once", "--format", "csv")
        self.assertEqual(status, 0, err)
        self.assertEqual(out.splitlines()[0], "time,start,00001,00002,00003,00004,error")
        self.assertTrue(out.splitlines()[1].endswith(",1,1,0,1,0,"), out)

    @unittest.skipUnless(have_pymodbus(), "pymodbus not installed")
    def test_pymodbus_server(self):
        server = self.sim([sys.executable, PYMODBUS_SERVER, "tcp"])
        target = "127.0.0.1:" + server.ready
        # Holding register n holds 7 n; the status words sit 8192 further on.
        status, out, err = self.run_veldak(target, "-R5", "-L3", "--once", "--format", "json")
        self.assertEqual(status, 0, err)
        record = json.loads(out)
        self.assertEqual(record["values"], [35, 42, 49])
        self.assertEqual(record["status"], [7 * 8197, 7 * 8198, 7 * 8199])
        status, out, err = self.run_veldak(target, "-3", "-R1", "-L2", "--once")
        self.assertEqual(status, 0, err)
        self.assertEqual(out, "     1  03E9    1001    1001\n     2  03EA    1002    1002\n")


class Logging(ScriptCase):
    def test_count_interval_csv_file_appended(self):
        sim = self.sim([TCPSIM])
        sim.cmd("set 4x 1 10 20")
        target = "127.0.0.1:" + sim.ready
        log = os.path.join(self.dir, "log.csv")
        status, out, err = self.run_veldak(target, "-L2", "--count", "5", "--interval", "200",
                                           "--format", "csv", "--output", log)
        self.assertEqual(status, 0, err)
        self.assertEqual(out, "", "data goes to the file alone")
        with open(log, newline="") as f:
            text = f.read()
        self.assertTrue(text.endswith("\r\n"))
        rows = list(csv.reader(io.StringIO(text)))
        self.assertEqual(rows[0], ["time", "start", "40001", "40002", "S40001", "S40002",
                                   "error"])
        self.assertEqual(len(rows), 6)
        times = [parse_time(r[0]) for r in rows[1:]]
        for a, b in zip(times, times[1:]):
            self.assertGreaterEqual((b - a).total_seconds() * 1000, 200, (a, b))
        for r in rows[1:]:
            self.assertEqual(r[1:], ["1", "10", "20", "0000", "0000", ""])
        # A second run appends rows without a second header.
        status, _, err = self.run_veldak(target, "-L2", "--once", "--format=csv",
                                         "--output=" + log)
        self.assertEqual(status, 0, err)
        with open(log, newline="") as f:
            rows = list(csv.reader(f))
        self.assertEqual(len(rows), 7)
        self.assertEqual(rows[6][2:4], ["10", "20"])

    def test_output_that_cannot_open_ends_with_status_1(self):
        status, out, err = self.run_veldak("127.0.0.1:1", "--once", "--output",
                                           os.path.join(self.dir, "no", "such", "dir"))
        self.assertEqual((status, out), (1, ""))
        self.assertIn("Can't open output file", err)

    def test_command_line_errors_on_stderr(self):
        status, out, err = self.run_veldak("127.0.0.1:1", "--once", "--type", "f64", "-L3")
        self.assertEqual((status, out), (1, ""))
        self.assertEqual(err, BANNER + "Type VELDAK -? for more information.\n"
                         "Register count 3 is not a multiple of 4 for --type f64\n")
        status, out, err = self.run_veldak("127.0.0.1:1", "--once")
        self.assertEqual((status, out), (1, ""))
        self.assertTrue(err.endswith("Can't open TCP connection to 127.0.0.1:1\n"), err)
        status, out, err = self.run_veldak("--version")
        self.assertEqual((status, out), (0, "VELDAK 1.0.0\n"))
        status, out, err = self.run_veldak("--help")
        self.assertEqual(status, 0)
        self.assertTrue(out.startswith(BANNER), out)
        self.assertIn("--order O", out)

    def test_sigterm_leaves_whole_lines(self):
        sim = self.sim([TCPSIM])
        log = os.path.join(self.dir, "long.csv")
        for sig in (signal.SIGTERM, signal.SIGINT):
            size = os.path.getsize(log) if os.path.exists(log) else 0
            p = subprocess.Popen([VELDAK, "127.0.0.1:" + sim.ready, "-L20", "--count",
                                  "1000000", "--interval", "0", "--format", "csv",
                                  "--output", log, "--stats"], cwd=self.dir,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                deadline = time.monotonic() + WAIT
                while time.monotonic() < deadline:
                    if os.path.exists(log) and os.path.getsize(log) > size + 20000:
                        break
                    time.sleep(0.02)
                p.send_signal(sig)
                out, err = p.communicate(timeout=RUN_LIMIT)
            finally:
                if p.poll() is None:
                    p.kill()
                    p.wait()
            self.assertEqual(p.returncode, 0, err)
            self.assertEqual(stats_of(err.decode())["timeouts"], "0")
        with open(log, "rb") as f:
            data = f.read()
        self.assertTrue(data.endswith(b"\r\n"))
        lines = data.split(b"\r\n")[:-1]
        self.assertGreater(len(lines), 100)
        self.assertEqual(lines.count(lines[0]), 1, "one header")
        for line in lines:
            self.assertEqual(line.count(b","), 42, line)


class DeadLink(ScriptCase):
    def test_silent_device_fails_every_poll_with_its_text(self):
        sim = self.sim([TCPSIM, "--fault", "silent:0"])
        status, out, err = self.run_veldak("127.0.0.1:" + sim.ready, "-S", "-L2", "--count",
                                           "2", "--interval", "0", "--format", "csv",
                                           "--stats")
        self.assertEqual(status, 2, err)
        rows = list(csv.reader(io.StringIO(out)))
        self.assertEqual(len(rows), 3)
        for r in rows[1:]:
            self.assertEqual(r[1:], ["1", "", "", "Reply timeout"])
        st = stats_of(err)
        self.assertEqual((st["sent"], st["received"], st["timeouts"], st["loss"]),
                         ("2", "0", "2", "100.0%"))

    def test_reset_connections_reconnect_and_report(self):
        sim = self.sim([TCPSIM, "--fault", "reset:2"])
        sim.cmd("set 4x 1 5")
        status, out, err = self.run_veldak("127.0.0.1:" + sim.ready, "-S", "-L1", "--count",
                                           "3", "--interval", "0", "--format", "json",
                                           "--stats")
        self.assertEqual(status, 2, "one poll failed: status 2, the others printed")
        records = [json.loads(line) for line in out.splitlines()]
        self.assertEqual(len(records), 3)
        self.assertEqual(records[0]["values"], None)
        self.assertEqual(records[0]["error"], "Recv Circuit reset by peer")
        self.assertEqual(records[2]["values"], [5])
        self.assertEqual(stats_of(err)["reconnections"], "2")


class Statistics(ScriptCase):
    def test_symax_faults_counted(self):
        sim = self.sim([SYMAXSIM], link="COM1")
        args = ["COM1:9600,E,8,1", "-S", "-L2", "--once", "--stats", "--format", "csv"]
        sim.cmd("fault badcheck 1")
        status, out, err = self.run_veldak(*args)
        self.assertEqual(status, 0, err)
        st = stats_of(err)
        # A corrupt reply: one check error and one retransmission, then the reply.
        self.assertEqual((st["check_errors"], st["retransmissions"], st["sent"], st["received"]),
                         ("1", "1", "1", "1"))
        sim.cmd("fault nak 2")
        status, out, err = self.run_veldak(*args)
        self.assertEqual(status, 0, err)
        st = stats_of(err)
        self.assertEqual((st["naks"], st["retransmissions"], st["check_errors"]), ("2", "2", "0"))
        sim.cmd("fault status 3 1")
        status, out, err = self.run_veldak(*args)
        self.assertEqual(status, 2, err)
        self.assertEqual(stats_of(err)["error_replies"], "1")
        self.assertIn("(3)", out.splitlines()[1])

    def test_modbus_rtu_bad_check(self):
        sim = self.sim([SERIALSIM, "--rtu", "--slave", "3"], link="COM3")
        sim.cmd("fault bad-check once")
        status, out, err = self.run_veldak("COM3:19200,E,8,1", "3", "-B", "-S", "-L1",
                                           "--count", "2", "--interval", "0", "--stats",
                                           "--format", "csv")
        # Modbus has no retransmission: the first poll waits out its time.
        self.assertEqual(status, 2, err)
        st = stats_of(err)
        self.assertEqual((st["check_errors"], st["timeouts"], st["retransmissions"], st["sent"],
                          st["received"]), ("1", "1", "0", "2", "1"))
        rows = list(csv.reader(io.StringIO(out)))
        self.assertEqual(rows[1][3], "No reply to read command")
        self.assertEqual(rows[2][3], "")

    def test_rtu_over_tcp_bad_crc_and_exception(self):
        sim = self.sim([TCPSIM, "--rtu", "--fault", "badcrc:1"])
        status, out, err = self.run_veldak("127.0.0.1:" + sim.ready, "-E", "-S", "-L1",
                                           "-R20000", "--count", "2", "--interval", "0",
                                           "--stats")
        self.assertEqual(status, 2, err)
        st = stats_of(err)
        self.assertEqual((st["check_errors"], st["error_replies"]), ("1", "1"))
        lines = out.splitlines()
        self.assertEqual(lines[0], " 20000  ERROR  Reply CRC error")
        self.assertTrue(lines[1].startswith(" 20000  ERROR  "), lines[1])

    def test_screen_mode_prints_statistics_after_it_ends(self):
        sim = self.sim([TCPSIM])
        sim.cmd("set 4x 1 4660")
        with Veldak(VELDAK, ["127.0.0.1:" + sim.ready, "-S", "--stats"], self.dir) as v:
            v.wait_text(5, 1, "     1  1234    4660    4660")
            v.send("esc")
            self.assertEqual(v.finish(), 0)
            tail = v.raw.split(b"\x1b[?1049l")[-1].decode()
            st = stats_of(tail)
            self.assertGreater(int(st["sent"]), 0)
            self.assertEqual(st["timeouts"], "0")


if __name__ == "__main__":
    unittest.main()
