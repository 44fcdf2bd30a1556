"""VELDAK's command line without a terminal: each message on standard output
and the exit status, with the real program."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest

VELDAK = os.environ["VELDAK"]
BANNER = ("Corvane Sy/Max Register Editor VELDAK 05Oct2004\n"
          "Type VELDAK -? for more information.\n")
MODE = "Use MODE to set port parameters before running VELDAK.\n"


def run(args, stdin=b"", cwd=None):
    p = subprocess.run([VELDAK] + args, input=stdin, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=30, cwd=cwd)
    return p.returncode, p.stdout.decode("latin-1")


class CommandLineMessages(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="veldak-cl-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def check(self, args, message, stdin=b""):
        status, out = run(args, stdin, cwd=self.dir)
        self.assertEqual(out, BANNER + message, args)
        self.assertEqual(status, 1, args)

    def test_each_message(self):
        long_route = " ".join(["1"] * 9)
        cases = [
            (["COM1:", "-Q"], 'Unrecognized switch: "-Q"\n'),
            (["/"], 'Unrecognized switch: "/"\n'),
            (["COM1:", "1,2;3"], "Illegal character ';' in route field \"1,2;3\"\n"),
            (["COM1:"] + long_route.split(), 'Too many drops in route "%s"\n' % long_route),
            (["COM1:", "-B", "1", "2"], MODE + "Modbus route must have exactly one drop.\n"),
            (["COM1:9600,E,8,1", "-A"], "Modbus route must have exactly one drop.\n"),
            (["10.1.2.3", "1", "2"], "Modbus TCP route can only have one drop.\n"),
            (["COM9:", "-G"], MODE + "Can't OpenGateway(COM9:).\n"),
            (["COM9:", "-B", "1"], MODE + "Can't OpenModbusRTU(COM9:).\n"),
            (["COM9:", "-A", "1"], MODE + "Can't OpenModbusAscii(COM9:).\n"),
            (["COM9:"], MODE + "Can't OpenSymax(COM9:).\n"),
            (["cc00"], "Can't OpenSylink(CC00).\n"),
            (["SFI"], "Can't access SFI610.\n"),
            ([""], "Can't access SFI610.\n"),  # an empty target, no prompt
            (["sa85:1"], "Can't access SA85.\n"),
            (["PORT7"], 'Illegal Port or Base Address "PORT7"\n'),
        ]
        # COM9 is a dangling link here, so the port can never open.
        os.symlink(os.path.join(self.dir, "missing"), os.path.join(self.dir, "COM9"))
        for args, message in cases:
            self.check(args, message)

    def test_tcp_and_start_register_messages(self):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        port = listener.getsockname()[1]
        target = "127.0.0.1:%d" % port
        try:
            self.check([target, "-R0"], "Illegal start register 0\n")
            self.check([target, "-R-2"], "Illegal start register 4294967294\n")
            self.check([target, "-R70000"], "Illegal start register 70000\n")
        finally:
            listener.close()
        self.check([target, "-E"], "Can't open TCP connection to 127.0.0.1:%d\n" % port)
        self.check(["127.0.0.1:99999"], "Can't open TCP connection to 127.0.0.1:99999\n")

    def test_help_and_prompt(self):
        status, out = run(["-?"])
        self.assertEqual(status, 1)
        self.assertTrue(out.startswith(BANNER + "\nUsage is:\n  VELDAK COMn: [route]"))
        self.assertTrue(out.endswith("F10 to acknowledge error.  Escape to exit."))
        self.check([], "Port, IP, or Base Address? Illegal Port or Base Address \"XYZ\"\n",
                   stdin=b"xyz\n")
        self.check(["-K"], "Port, IP, or Base Address? Can't access SFI610.\n", stdin=b"")
        self.check([], "Port, IP, or Base Address? Illegal Port or Base Address \"%s\"\n"
                   % ("A" * 255), stdin=b"a" * 4000 + b"\n")

    def test_bad_port_settings(self):
        cases = [
            ("9600,E,8", 'Bad port settings: "9600,E,8" (3)\n'),
            ("1,E,8,1", 'Bad port settings: "1,E,8,1" Invalid baud rate\n'),
            ("9600,Q,8,1", 'Bad port settings: "9600,Q,8,1" Invalid parity\n'),
        ]
        sim = subprocess.Popen([os.environ["SYMAXSIM"], "--link",
                                os.path.join(self.dir, "COM4")], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, cwd=self.dir)
        try:
            self.assertTrue(sim.stdout.readline().startswith(b"READY"))
            for settings, message in cases:
                self.check(["COM4:" + settings], message)
            # Sy/Max registers end at 8192.
            self.check(["COM4:9600,E,8,1", "-R9000"], "Illegal start register 9000\n")
            self.check(["COM4:", "-R8193"], MODE + "Illegal start register 8193\n")
        finally:
            sim.stdin.close()
            sim.wait(timeout=10)
            sim.stdout.close()

    def test_long_texts_are_refused_not_overrun(self):
        self.check(["A" * 80 + "."], "Can't open TCP connection to %s.:502\n" % ("A" * 80))
        status, out = run(["COM1:" + "9" * 5000])
        self.assertEqual(status, 1)
        self.assertIn("Target too long", out)
        status, out = run(["x", "1" * 5000])
        self.assertEqual(status, 1)
        self.assertIn("Route too long", out)


if __name__ == "__main__":
    unittest.main()
