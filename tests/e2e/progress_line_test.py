"""The progress line of a long job on a terminal (a pseudo-terminal here):
it appears once the job has run for half a second, is redrawn at most ten
times a second, has the messages written above it and is cleared at the end,
so that the screen holds the messages and nothing else. It never appears on
a pipe, with --quiet (/Q) or with -v, nor for a job that ends at once.

A job of two million rows takes about a second here; so that it runs past
half a second on any machine, each run is also stopped (SIGSTOP) for most
of a second soon after it starts."""
import signal
import os
import pty
import select
import subprocess
import tempfile
import time
import unittest

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
VOK = os.path.join(BUILD, "vok")
EXAMPLES = os.path.join(SOURCE, "examples")

ROWS = 2000000
STOPPED = (0.1, 0.8)  # seconds after the start: stopped, continued
TEMPLATE = "--------- --------------------------- ----------"
# Table 2 is the total line, which begins with "=": its warning comes while the
# line is shown.
RECIPE = ("[Table 1]\r\nReadStartLine=LEDGER\r\nReadStartLineOffset=1\r\n"
          "ReadEndLine=TOTALS\r\nReadEndLineOffset=-1\r\nParsing=%s\r\nWriteColumn=A\r\n"
          "[Table 2]\r\nReadStartLine=TOTALS\r\nReadStartLineOffset=0\r\n"
          "ReadEndLine=TOTALS\r\nReadEndLineOffset=0\r\nParsing=%s\r\nWriteColumn=A\r\n"
          % (TEMPLATE, TEMPLATE))
CLEAR = b"\r\x1b[K"


def screen(data):
    """The lines a terminal shows after these bytes: carriage return, erase to
    the end of the line and line feed are the only controls vok uses."""
    lines, line, col, i = [], [], 0, 0
    while i < len(data):
        if data.startswith(b"\x1b[K", i):
            del line[col:]
            i += 3
            continue
        c = data[i:i + 1]
        i += 1
        if c == b"\r":
            col = 0
        elif c == b"\n":
            lines.append(b"".join(line))
            line, col = [], 0
        else:
            line[col:col + 1] = [c]
            col += 1
    if line:
        lines.append(b"".join(line))
    return [l.decode() for l in lines]


class ProgressLine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="vok-progress-")
        cls.dir = cls.work.name
        cls.report = os.path.join(cls.dir, "ledger.txt")
        block = "".join("%09d %-27s %10.2f\r\n" % (i, "ENTRY %d" % (i % 977), i * 0.25)
                        for i in range(1000))
        with open(cls.report, "w", newline="") as f:
            f.write("LEDGER\r\n")
            for _ in range(ROWS // 1000):
                f.write(block)
            f.write("=TOTALS\r\n")
        cls.recipe = os.path.join(cls.dir, "ledger.rcp")
        with open(cls.recipe, "w", newline="") as f:
            f.write(RECIPE)
        cls.home = os.path.join(cls.dir, "home")
        os.mkdir(cls.home)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def env(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(VOK_HOME=self.home, TERM="xterm")
        return env

    def on_terminal(self, args, stopped=STOPPED):
        """Runs vok with standard error on a pseudo-terminal of 100 columns;
        returns the bytes it wrote there with the time each arrived, and its status."""
        controller, terminal = pty.openpty()
        os.set_blocking(controller, False)
        subprocess.run(["stty", "cols", "100", "rows", "30"], stdin=terminal, check=True)
        began = time.monotonic()
        run = subprocess.Popen([VOK] + args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=terminal, env=self.env())
        os.close(terminal)
        chunks = []
        stop, resume = stopped
        while True:
            now = time.monotonic() - began
            if stop is not None and now >= stop:
                run.send_signal(signal.SIGSTOP)
                stop = None
            elif stop is None and resume is not None and now >= resume:
                run.send_signal(signal.SIGCONT)
                resume = None
            ready, _, _ = select.select([controller], [], [], 0.05)
            if ready:
                try:
                    data = os.read(controller, 65536)
                except OSError:  # the terminal's other end is closed
                    break
                if not data:
                    break
                chunks.append((time.monotonic() - began, data))
            elif resume is None and run.poll() is not None:
                break
        status = run.wait()
        os.close(controller)
        return chunks, status, time.monotonic() - began

    def job(self, *extra):
        return ["-i", self.report, "-r", self.recipe,
                "-o", os.path.join(self.dir, "ledger.csv")] + list(extra)

    def test_a_long_job_shows_the_line_and_clears_it(self):
        chunks, status, elapsed = self.on_terminal(self.job())
        data = b"".join(t for _, t in chunks)
        self.assertEqual(status, 1, data)  # the warning of table 2
        draws = [(when, text) for when, text in chunks if b"\rfile 1 of 1 ledger.txt" in text]
        self.assertTrue(draws, "no progress line in %r" % data[:300])
        # Not before half a second, and at most ten a second after that.
        self.assertGreaterEqual(draws[0][0], 0.45)
        lines = [d for d in data.split(b"\r") if d.startswith(b"file ")]
        self.assertLessEqual(len(lines), 2 + 10 * elapsed, data)
        for line in lines:
            # Each one fits the terminal and is erased to its end.
            self.assertRegex(line, rb"^file 1 of 1 ledger\.txt  (reading the report|Table [12]  "
                                   rb"[0-9,]+ rows  [0-9]+%  [0-9.]+[kM]? rows/s( .*left)?)\x1b\[K")
            self.assertLessEqual(len(line) - 3, 99)
        self.assertTrue(data.endswith(CLEAR), data[-200:])
        shown = screen(data)
        self.assertEqual(len(shown), 1, shown)
        self.assertIn("begin with Equal Sign", shown[0])
        self.assertNotIn("file 1 of 1", shown[0])

    def test_no_line_on_a_pipe_with_quiet_or_verbose_or_for_a_short_job(self):
        piped = subprocess.run([VOK] + self.job(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, env=self.env())
        self.assertEqual(piped.returncode, 1)
        self.assertNotIn(b"\r", piped.stderr)
        self.assertNotIn(b"\x1b", piped.stderr)
        self.assertEqual(len(piped.stderr.splitlines()), 1, piped.stderr)
        # The same job on the terminal says the same, less the line.
        chunks, _, _ = self.on_terminal(self.job())
        self.assertEqual(screen(b"".join(t for _, t in chunks)),
                         [piped.stderr.decode().rstrip("\n")])

        switches = ["/I", self.report.replace("/", "\\"), "/R", self.recipe.replace("/", "\\"),
                    "/O", os.path.join(self.dir, "ledger.csv").replace("/", "\\")]
        for args in (self.job("--quiet"), self.job("-q"), switches + ["/Q"], self.job("-v")):
            with self.subTest(args=args[-1]):
                chunks, status, _ = self.on_terminal(args)
                data = b"".join(t for _, t in chunks)
                self.assertEqual(status, 1)
                self.assertNotIn(b"\x1b", data)
                self.assertNotIn(b"\rfile", data)
        chunks, _, _ = self.on_terminal(self.job("-v"))
        self.assertIn(b"Exporting Table 1", b"".join(t for _, t in chunks))

        chunks, status, _ = self.on_terminal(
            ["-i", os.path.join(EXAMPLES, "trial-balance.txt"),
             "-r", os.path.join(EXAMPLES, "trial-balance.rcp"),
             "-o", os.path.join(self.dir, "tb.csv")], stopped=(None, None))
        self.assertEqual(status, 0)
        self.assertEqual(b"".join(t for _, t in chunks), b"")


if __name__ == "__main__":
    unittest.main()
