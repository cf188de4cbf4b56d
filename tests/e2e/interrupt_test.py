"""Interrupts on the command line, sent to the real program: SIGINT, SIGTERM and
SIGHUP while a table is read, while a large .xlsx is saved, and in a folder
job. Each stops the job, keeps every output it had not completed byte for
byte, leaves no temporary file, says which output was not changed (and which
were complete) and ends with the shell's status for that signal. A file-size
limit (ulimit -f) is a write failure with its cause, like a full disk."""

import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import FolderFiles, crlf, wait_until  # noqa: E402

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
VOK = os.path.join(BUILD, "vok")

SIGNALS = {signal.SIGINT: 130, signal.SIGTERM: 143, signal.SIGHUP: 129}

RECIPE = crlf("[Table 1]", "ReadStartLine=LEDGER", "ReadStartLineOffset=1",
              "ReadEndLine=TOTALS", "ReadEndLineOffset=-1",
              "Parsing=---------- -------------------- ------------", "WriteColumn=A")


def report(word, rows):
    return crlf("LEDGER", *("%010d %-20s %12.2f" % (i, "%s %d" % (word, i % 97), i * 1.25)
                            for i in range(rows)), "TOTALS")


class Interrupts(FolderFiles, unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-interrupt-")
        self.home = self.path("home")
        os.mkdir(self.home)
        self.recipe = self.write("month.rcp", RECIPE)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def start(self, *args, **kwargs):
        return subprocess.Popen([VOK, *args], env={**os.environ, "VOK_HOME": self.home},
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                **kwargs)

    def convert(self, report_file, output):
        done = subprocess.run([VOK, "-i", report_file, "-r", self.recipe, "-o", output],
                              env={**os.environ, "VOK_HOME": self.home}, capture_output=True,
                              check=False)
        self.assertEqual(done.returncode, 0, done.stderr)

    @staticmethod
    def finish(run):
        """The rest of standard error and the exit status."""
        with run.stderr:
            err = run.stderr.read()
        return run.wait(), err

    def wait_for_line(self, run, text, after=None):
        """Reads standard error until a line holding `text` (after one holding
        `after`, when given); returns everything read."""
        seen, armed = [], after is None
        for line in run.stderr:
            seen.append(line)
            if after is not None and after in line:
                armed = True
            if armed and text in line:
                return seen
        self.fail("the job ended before it printed %r: %s" % (text, "".join(seen)))
        return seen

    def temporaries(self, folder=None):
        return [n for n in os.listdir(folder or self.dir) if n.startswith(".~")]

    def test_each_signal_while_a_table_is_read_keeps_the_earlier_output(self):
        big = self.write("big.txt", report("New", 300000))
        for kind in ("csv", "xlsx", "xls"):
            earlier_output = self.path("earlier." + kind)
            self.convert(self.write("small.txt", report("Old", 50)), earlier_output)
            earlier = self.read("earlier." + kind)
            for number, status in SIGNALS.items():
                for syntax in ("linux", "switch"):
                    with self.subTest(kind=kind, signal=number.name, syntax=syntax):
                        args = (["-i", big, "-r", self.recipe, "-o", earlier_output, "-v"]
                                if syntax == "linux" else
                                ["/I", big.replace("/", "\\"), "/R",
                                 self.recipe.replace("/", "\\"), "/O",
                                 earlier_output.replace("/", "\\"), "/V"])
                        run = self.start(*args)
                        self.wait_for_line(run, "row 1 of")
                        run.send_signal(number)
                        code, err = self.finish(run)
                        self.assertEqual(code, status, err)
                        self.assertIn("Stopped: %s was not changed." % earlier_output, err)
                        self.assertNotIn("Do you want to terminate", err)
                        self.assertEqual(self.read("earlier." + kind), earlier)
                        self.assertEqual(self.temporaries(), [])

    def test_a_new_output_stopped_while_read_is_not_written(self):
        big = self.write("big.txt", report("New", 300000))
        run = self.start("-i", big, "-r", self.recipe, "-o", self.path("new.xlsx"), "-v")
        self.wait_for_line(run, "row 1 of")
        run.send_signal(signal.SIGINT)
        code, err = self.finish(run)
        self.assertEqual(code, 130, err)
        self.assertIn("Stopped: %s was not written." % self.path("new.xlsx"), err)
        self.assertFalse(os.path.exists(self.path("new.xlsx")))
        self.assertEqual(self.temporaries(), [])

    def test_each_signal_during_the_save_of_a_large_workbook_keeps_the_earlier_one(self):
        # The rows of a large .xlsx are stored in moments; most of the run
        # after its first row is the save: the sheet built and compressed,
        # then written to a temporary file beside the earlier workbook and
        # renamed. Interrupts come at fractions of that stretch (measured on
        # an uninterrupted run) and as soon as the temporary file appears.
        output = self.path("ledger.xlsx")
        self.convert(self.write("old.txt", report("Old", 150000)), output)
        earlier = self.read("ledger.xlsx")
        new = self.write("new.txt", report("New", 150000))
        run = self.start("-i", new, "-r", self.recipe, "-o", output, "-v")
        self.wait_for_line(run, "row 1 of")
        began = time.monotonic()
        self.assertEqual(self.finish(run)[0], 0)
        saving = time.monotonic() - began
        with open(output, "wb") as f:
            f.write(earlier)
        kept = {"late": 0, "temporary": 0}
        for number, status in SIGNALS.items():
            for phase, at in (("late", 0.5), ("late", 0.8), ("temporary", 0.0),
                              ("temporary", 0.005)):
                with self.subTest(signal=number.name, phase=phase, at=at):
                    run = self.start("-i", new, "-r", self.recipe, "-o", output, "-v")
                    self.wait_for_line(run, "row 1 of")
                    if phase == "late":
                        time.sleep(saving * at)
                    else:
                        while run.poll() is None and not self.temporaries():
                            time.sleep(0.0005)
                        time.sleep(at)
                    run.send_signal(number)
                    code, err = self.finish(run)
                    self.assertEqual(self.temporaries(), [])
                    if self.read("ledger.xlsx") == earlier:
                        # Before the rename: stopped, the earlier workbook kept.
                        kept[phase] += 1
                        self.assertEqual(code, status, err)
                        self.assertIn("Stopped: %s was not changed." % output, err)
                        continue
                    self.check_whole_new_workbook(output, code, status, number, err)
                    with open(output, "wb") as f:
                        f.write(earlier)
        self.assertGreater(kept["late"], 0, "no interrupt came while the sheet was built")
        self.assertGreater(kept["temporary"], 0, "no interrupt came before a rename")
        print("interrupts during the save that kept the earlier workbook: %s of 6 each"
              % kept)

    def check_whole_new_workbook(self, output, code, status, number, err):
        """After the rename the new workbook is complete. The interrupt then
        came before the job's end (said so, the signal's status), after it
        (the signal's default action ends the finished program), or after
        the program had ended (status 0)."""
        with zipfile.ZipFile(output) as book:
            self.assertIsNone(book.testzip())
            sheet = book.read("xl/worksheets/sheet1.xml")
        self.assertIn(b"New 1", sheet)
        self.assertIn(b"149999", sheet)
        self.assertIn(code, (status, -number, 0), err)
        if code == status:
            self.assertIn("Stopped: %s is complete" % output, err)

    def test_a_folder_job_says_which_outputs_were_complete(self):
        os.mkdir(self.path("in"))
        os.mkdir(self.path("out"))
        for name in ("a", "b", "c"):
            self.write("in/%s.txt" % name, report(name, 300000))
            self.write("out/%s.csv" % name, "earlier %s\r\n" % name)
        for number, status in SIGNALS.items():
            with self.subTest(signal=number.name):
                run = self.start("-i", self.path("in/*.txt"), "-r", self.recipe, "-o",
                                 self.path("out/*.csv"), "-v")
                seen = self.wait_for_line(run, "row 1 of", after="[2 of 3 files]")
                run.send_signal(number)
                code, rest = self.finish(run)
                err = "".join(seen) + rest
                self.assertEqual(code, status, err)
                order = [line.split("   [")[0] for line in seen if " of 3 files]" in line]
                first, second = (self.path("out/%s.csv" % os.path.basename(p)[0])
                                 for p in order)
                self.assertIn("Stopped: %s was not changed. Outputs already complete: 1 of 3 "
                              "files: %s." % (second, first), err)
                with open(first, "rb") as f:
                    self.assertTrue(f.read().startswith(b"0000000000"))
                for name in "abc":
                    path = self.path("out/%s.csv" % name)
                    if path != first:
                        with open(path, "rb") as f:
                            self.assertEqual(f.read(), b"earlier %s\r\n" % name.encode())
                self.write("out/%s.csv" % os.path.basename(first)[0],
                           "earlier %s\r\n" % os.path.basename(first)[0])
                self.assertEqual(self.temporaries(self.path("out")), [])

    def test_an_interrupt_while_waiting_for_another_job_stops_at_once(self):
        # A job that waited for another job of its program folder (which
        # holds the working files to the end of its file) heard Ctrl-C only
        # once the other had finished.
        library = os.path.join(BUILD, "libvok_fault_injection.so")
        small = self.write("small.txt", report("Small", 20))
        first_out, second_out = self.path("first.csv"), self.path("second.csv")
        marker = self.path("held")
        # The first job is held at the rename that puts its output in place.
        first = subprocess.Popen([VOK, "-i", small, "-r", self.recipe, "-o", first_out],
                                 env={**os.environ, "VOK_HOME": self.home, "LD_PRELOAD": library,
                                      "VOK_FAULT_HOLD_RENAME": first_out,
                                      "VOK_FAULT_HOLD_MARKER": marker},
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        second = third = None
        try:
            wait_until(self, "the first job's save", lambda: os.path.exists(marker) or
                       first.poll() is not None)
            self.assertIsNone(first.poll(), "the first job ended unheld")
            second = self.start("-v", "-i", small, "-r", self.recipe, "-o", second_out)
            lines = []
            reader = threading.Thread(target=lambda: lines.extend(second.stderr), daemon=True)
            reader.start()
            waiting = "Waiting for another job using the working files in %s." % self.home
            wait_until(self, "the second job's wait", lambda: second.poll() is not None or
                       any(waiting in line for line in list(lines)))
            self.assertIsNone(second.poll(), "".join(lines))
            second.send_signal(signal.SIGINT)
            # It stops while the first still holds the working files.
            wait_until(self, "the second job's end", lambda: second.poll() is not None)
            reader.join()
            self.assertEqual(second.returncode, 130, "".join(lines))
            self.assertIn("Stopped: %s was not written.\n" % second_out, lines)
            self.assertTrue(os.path.exists(marker))
            # One more that waits and is not stopped goes on once the first
            # is done, and says it waits once (the caption comes back after).
            third = self.start("-v", "-i", small, "-r", self.recipe, "-o", second_out)
            third_lines = []
            third_reader = threading.Thread(target=lambda: third_lines.extend(third.stderr),
                                            daemon=True)
            third_reader.start()
            wait_until(self, "the third job's wait", lambda: third.poll() is not None or
                       any(waiting in line for line in list(third_lines)))
            self.assertIsNone(third.poll(), "".join(third_lines))
        finally:
            if os.path.exists(marker):
                os.remove(marker)
            for job in (second, third):
                if job and job.poll() is None and sys.exc_info()[0] is not None:
                    job.kill()
                    job.wait()
        self.assertEqual(first.wait(60), 0)
        self.assertEqual(first.stderr.read(), "")
        self.assertEqual(third.wait(60), 0)
        third_reader.join()
        for job in (first, second, third):
            job.stderr.close()
        self.assertEqual(sum(waiting in line for line in third_lines), 1, "".join(third_lines))
        self.assertTrue(os.path.exists(first_out))
        self.assertEqual(self.read("second.csv"), self.read("first.csv"))
        self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".~")], [])

    def test_a_file_size_limit_is_a_write_failure_with_its_cause(self):
        big = self.write("big.txt", report("New", 100000))
        limit = 256 * 1024

        def limited():
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        for kind in ("csv", "xlsx"):
            with self.subTest(kind=kind):
                output = self.path("earlier." + kind)
                self.convert(self.write("small.txt", report("Old", 50)), output)
                earlier = self.read("earlier." + kind)
                run = self.start("-i", big, "-r", self.recipe, "-o", output,
                                 preexec_fn=limited)
                code, err = self.finish(run)
                self.assertEqual(code, 1, err)
                self.assertIn("File too large", err)
                self.assertIn(output, err)
                self.assertEqual(self.read("earlier." + kind), earlier)
                self.assertEqual(self.temporaries(), [])


if __name__ == "__main__":
    unittest.main()
