"""I/O errors injected into the real program, in the manner of SQLite's
I/O-error tests: the preloaded library makes the n-th write, fsync, close or
rename of a file in the output folder (and, for the CSV job, in the program
folder, where the working export-specs file is written) fail with ENOSPC
or EIO; the libraries' stdio writes count too (libzip writes an .xlsx so). A CSV job and two workbook jobs run
over an earlier output for every n up to the number of such calls the job
makes; each time the job must end with status 1 and a message naming the
cause, the earlier output must be byte for byte as it was, and no temporary
file may be left.

The figures (calls per job, runs) are printed, for the record."""

import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../e2e"))
from e2e_support import BUILD, VOK, crlf  # noqa: E402  (the shared harness, found above)
LIBRARY = os.path.join(BUILD, "libvok_fault_injection.so")
CAUSES = {"ENOSPC": "No space left on device", "EIO": "Input/output error"}
SQLITE_CAUSES = {"ENOSPC": "database or disk is full", "EIO": "disk I/O error"}


# A report large enough that its CSV output takes several writes.
ROWS = ["%010d %-20s %12.2f" % (i, "Account %d" % (i % 97), i * 1.25) for i in range(9000)]
REPORT = crlf("LEDGER", *ROWS, "TOTALS")
RECIPE = crlf("[Table 1]", "ReadStartLine=LEDGER", "ReadStartLineOffset=1",
              "ReadEndLine=TOTALS", "ReadEndLineOffset=-1",
              "Parsing=---------- -------------------- ------------", "WriteColumn=A")


class FaultInjection(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-faults-")
        self.home = os.path.join(self.dir, "home")
        self.out = os.path.join(self.dir, "out")
        os.mkdir(self.home)
        os.mkdir(self.out)
        self.report = os.path.join(self.dir, "report.txt")
        self.recipe = os.path.join(self.dir, "month.rcp")
        with open(self.report, "w", newline="") as f:
            f.write(REPORT)
        with open(self.recipe, "w", newline="") as f:
            f.write(RECIPE)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def vok(self, output, fault_at=None, errno_name="ENOSPC", folders=None):
        # The working export-specs file is written only when it changes:
        # without it, every run writes it, and a fault may hit that write.
        working = os.path.join(self.home, "_ExportSpecs.t2x")
        if os.path.exists(working):
            os.remove(working)
        env = {**os.environ, "VOK_HOME": self.home}
        report_file = os.path.join(self.dir, "calls.txt")
        if fault_at is not None:
            env.update({
                "LD_PRELOAD": LIBRARY,
                "VOK_FAULT_DIRS": ":".join(folders),
                # The error log is remade at every start and may fail without a
                # word, on purpose; the lock file is never written.
                "VOK_FAULT_SKIP": "ErrorLog.txt:vok.lock",
                "VOK_FAULT_AT": str(fault_at),
                "VOK_FAULT_ERRNO": errno_name,
                "VOK_FAULT_REPORT": report_file,
                # A sanitized build lets the library come first.
                "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0",
            })
        done = subprocess.run([VOK, "-i", self.report, "-r", self.recipe, "-o", output],
                              env=env, capture_output=True, check=False, timeout=120)
        calls = []
        if fault_at is not None:
            with open(report_file) as f:
                calls = f.read().splitlines()[1:]
        return done.returncode, done.stderr.decode(errors="replace"), calls

    def check_job(self, name, folders):
        output = os.path.join(self.out, name)
        code, err, _ = self.vok(output)
        self.assertEqual((code, err), (0, ""))
        with open(output, "rb") as f:
            earlier = f.read()
        # A second run changes the output, so that a run that wrongly
        # succeeds cannot pass for one that kept the earlier file.
        with open(self.report, "w", newline="") as f:
            f.write(REPORT.replace("Account", "Changed"))
        code, err, calls = self.vok(output, fault_at=0, folders=folders)
        self.assertEqual((code, err), (0, ""), "the counting run")
        self.assertTrue(calls, "no call was seen")
        with open(output, "rb") as f:
            self.assertNotEqual(f.read(), earlier)
        runs = 0
        for n in range(1, len(calls) + 1):
            for errno_name, cause in CAUSES.items():
                with open(output, "wb") as f:
                    f.write(earlier)
                with self.subTest(job=name, call=calls[n - 1], n=n, errno=errno_name):
                    code, err, _ = self.vok(output, fault_at=n, errno_name=errno_name,
                                            folders=folders)
                    runs += 1
                    self.assertEqual(code, 1, err)
                    self.assertIn(cause, err)
                    with open(output, "rb") as f:
                        self.assertTrue(f.read() == earlier, "the earlier output changed")
                    left = [e for e in os.listdir(self.out) if e.startswith(".~")]
                    self.assertEqual(left, [])
        print("%s: %d calls (%s), %d faulty runs" % (
            name, len(calls), ", ".join(sorted({c.split()[0] for c in calls})), runs))

    def database_content(self, database):
        """Every row vok wrote, once the database has recovered from what
        a failed run left (a log beside it), and its integrity check."""
        connection = sqlite3.connect(database)
        try:
            check = connection.execute("PRAGMA integrity_check").fetchall()
            rows = connection.execute("SELECT * FROM table_1 ORDER BY rowid").fetchall()
            catalogue = connection.execute("SELECT * FROM vok_tables").fetchall()
            return check, rows, catalogue
        finally:
            connection.close()

    def test_a_fault_at_any_call_leaves_a_database_sound_and_as_it_was_or_complete(self):
        # A fault at any write, sync, close or rename of the database or its
        # logs leaves it openable, sound and as it was, or (when the rows were
        # committed before the fault, and the job said so) holding the new rows.
        database = os.path.join(self.out, "ledger.db")
        # Fewer rows than the other jobs': every page of the log is a write.
        small = crlf("LEDGER", *ROWS[:800], "TOTALS")
        with open(self.report, "w", newline="") as f:
            f.write(small)
        code, err, _ = self.vok(database)
        self.assertEqual((code, err), (0, ""))
        earlier = {}
        for name in os.listdir(self.out):
            with open(os.path.join(self.out, name), "rb") as f:
                earlier[name] = f.read()
        before = self.database_content(database)
        self.assertEqual(before[0], [("ok",)])
        with open(self.report, "w", newline="") as f:
            f.write(small.replace("Account", "Changed"))
        code, err, calls = self.vok(database, fault_at=0, folders=[self.out])
        self.assertEqual((code, err), (0, ""), "the counting run")
        after = self.database_content(database)
        self.assertNotEqual(after[1], before[1])
        runs = failed = 0
        for n in range(1, len(calls) + 1):
            for errno_name, cause in CAUSES.items():
                for name in os.listdir(self.out):
                    os.remove(os.path.join(self.out, name))
                for name, data in earlier.items():
                    with open(os.path.join(self.out, name), "wb") as f:
                        f.write(data)
                with self.subTest(call=calls[n - 1], n=n, errno=errno_name):
                    code, err, _ = self.vok(database, fault_at=n, errno_name=errno_name,
                                            folders=[self.out])
                    runs += 1
                    content = self.database_content(database)
                    self.assertEqual(content[0], [("ok",)])
                    if code == 0:
                        self.assertEqual(err, "")
                        self.assertEqual(content[1], after[1])
                    else:
                        failed += 1
                        self.assertEqual(code, 1, err)
                        # The system's words, or SQLite's when it kept no errno
                        # (a failed write of its shared-memory file or a failed
                        # sync is "disk I/O error", whatever the errno).
                        self.assertRegex(err, "%s|%s|disk I/O error" % (
                            cause, SQLITE_CAUSES[errno_name]))
                        self.assertEqual(content, before)
        self.assertGreater(failed, 0)
        print("ledger.db: %d calls (%s), %d faulty runs, %d of them failed the job" % (
            len(calls), ", ".join(sorted({c.split()[0] for c in calls})), runs, failed))
        # A new database: a job that fails leaves no file behind.
        for name in os.listdir(self.out):
            os.remove(os.path.join(self.out, name))
        code, err, calls = self.vok(database, fault_at=0, folders=[self.out])
        self.assertEqual((code, err), (0, ""), "the counting run of a new database")
        for n in range(1, len(calls) + 1):
            for name in os.listdir(self.out):
                os.remove(os.path.join(self.out, name))
            with self.subTest(new=True, call=calls[n - 1], n=n):
                code, err, _ = self.vok(database, fault_at=n, folders=[self.out])
                if code == 0:
                    self.assertEqual(self.database_content(database)[:2], ([("ok",)], after[1]))
                else:
                    self.assertEqual(code, 1, err)
                    self.assertEqual(os.listdir(self.out), [])
        print("new ledger.db: %d calls" % len(calls))

    def test_a_fault_at_any_call_fails_a_csv_job_and_keeps_the_earlier_output(self):
        # The CSV file, and the working export-specs file in the program folder.
        self.check_job("ledger.csv", [self.out, self.home])

    def test_a_fault_at_any_call_fails_an_xlsx_job_and_keeps_the_earlier_output(self):
        self.check_job("ledger.xlsx", [self.out])

    def test_a_fault_at_any_call_fails_a_new_xlsx_job_and_leaves_nothing_behind(self):
        # A new workbook, written by the engine's own writer: a job that fails
        # leaves nothing behind. (Its rows also go to an unnamed temporary
        # file in the output folder as the sheet grows; the preloaded library
        # counts no calls on such a file, made through the folder's name.)
        output = os.path.join(self.out, "ledger.xlsx")
        code, err, calls = self.vok(output, fault_at=0, folders=[self.out])
        self.assertEqual((code, err), (0, ""), "the counting run")
        self.assertTrue({"write", "rename"} <= {c.split()[0] for c in calls}, calls)
        with zipfile.ZipFile(output) as z:
            sheet = z.read("xl/worksheets/sheet1.xml")
        runs = 0
        for n in range(1, len(calls) + 1):
            for errno_name, cause in CAUSES.items():
                for name in os.listdir(self.out):
                    os.remove(os.path.join(self.out, name))
                with self.subTest(call=calls[n - 1], n=n, errno=errno_name):
                    code, err, _ = self.vok(output, fault_at=n, errno_name=errno_name,
                                            folders=[self.out])
                    runs += 1
                    if code == 0:
                        self.assertEqual(err, "")
                        with zipfile.ZipFile(output) as z:
                            self.assertTrue(z.read("xl/worksheets/sheet1.xml") == sheet)
                    else:
                        self.assertEqual(code, 1, err)
                        self.assertIn(cause, err)
                        self.assertEqual(os.listdir(self.out), [])
        print("new ledger.xlsx: %d calls (%s), %d faulty runs" % (
            len(calls), ", ".join(sorted({c.split()[0] for c in calls})), runs))

    def test_a_fault_at_any_call_fails_an_xls_job_and_keeps_the_earlier_output(self):
        self.check_job("ledger.xls", [self.out])


if __name__ == "__main__":
    unittest.main()
