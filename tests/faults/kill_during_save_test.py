"""A job killed (SIGKILL) at several points while it writes a large .xlsx
over an earlier one: the earlier workbook must stay readable and byte for
byte as it was, whenever the kill comes, and the next run must succeed and
leave no temporary file behind (it removes those the killed runs left)."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

import openpyxl

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../e2e"))
from e2e_support import VOK, crlf  # noqa: E402  (the shared harness, found above)


def report(word, rows=150000):
    return crlf("LEDGER", *("%010d %-20s %12.2f" % (i, "%s %d" % (word, i % 97), i * 1.25)
                            for i in range(rows)), "TOTALS")


RECIPE = crlf("[Table 1]", "ReadStartLine=LEDGER", "ReadStartLineOffset=1",
              "ReadEndLine=TOTALS", "ReadEndLineOffset=-1",
              "Parsing=---------- -------------------- ------------", "WriteColumn=A")


class KillDuringSave(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-kill-")
        self.home = os.path.join(self.dir, "home")
        self.out = os.path.join(self.dir, "out")
        os.mkdir(self.home)
        os.mkdir(self.out)
        self.recipe = self.write("month.rcp", RECIPE)
        self.output = os.path.join(self.out, "ledger.xlsx")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def write(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w", newline="") as f:
            f.write(text)
        return path

    def start(self, report_file):
        return subprocess.Popen([VOK, "-i", report_file, "-r", self.recipe, "-o", self.output],
                                env={**os.environ, "VOK_HOME": self.home},
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def temporaries(self):
        return [n for n in os.listdir(self.out) if n.startswith(".~")]

    def test_killed_saves_keep_the_earlier_workbook(self):
        done = self.start(self.write("old.txt", report("Old")))
        self.assertEqual(done.wait(), 0, done.stderr.read())
        with open(self.output, "rb") as f:
            earlier = f.read()
        sheet = openpyxl.load_workbook(self.output, read_only=True).worksheets[0]
        self.assertEqual(sheet.max_row, 150000)

        new = self.write("new.txt", report("New"))
        began = time.monotonic()
        run = self.start(new)
        self.assertEqual(run.wait(), 0, run.stderr.read())
        duration = time.monotonic() - began
        with open(self.output, "wb") as f:
            f.write(earlier)

        # Kills before the save (at fractions of a run) and during it: the
        # save begins when its temporary file appears, and the kill follows
        # after a delay. A run whose rename came before its kill has put the
        # whole new workbook in place (it may still be killed before it
        # exits); any other must leave the earlier one.
        points = [("run", f) for f in (0.1, 0.3, 0.5)] + \
                 [("save", d) for d in (0.0, 0.002, 0.01, 0.03, 0.06, 0.1, 0.15, 0.25)]
        kills, during_save = 0, 0
        for phase, delay in points:
            run = self.start(new)
            if phase == "run":
                time.sleep(duration * delay)
            else:
                while run.poll() is None and not self.temporaries():
                    time.sleep(0.0005)
                time.sleep(delay)
            run.send_signal(signal.SIGKILL)
            run.wait()
            kills += 1
            if self.temporaries():
                during_save += 1
            with zipfile.ZipFile(self.output) as book:
                self.assertIsNone(book.testzip())
                sheet = book.read("xl/worksheets/sheet1.xml")
            with open(self.output, "rb") as f:
                kept = f.read() == earlier
            if not kept:
                self.assertIn(b"New 1", sheet, "a changed workbook that is not the new one "
                              "(%s %.3f)" % (phase, delay))
                with open(self.output, "wb") as f:
                    f.write(earlier)
        self.assertGreater(during_save, 0, "no kill came during a save")

        # The next run succeeds and removes what the killed runs left.
        run = self.start(new)
        self.assertEqual(run.wait(), 0, run.stderr.read())
        self.assertEqual(self.temporaries(), [])
        with zipfile.ZipFile(self.output) as book:
            self.assertIn(b"New 1", book.read("xl/worksheets/sheet1.xml"))
        print("%d kills, %d during a save" % (kills, during_save))


if __name__ == "__main__":
    unittest.main()
