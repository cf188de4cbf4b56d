"""A reader that keeps the database open (a notebook, a BI tool) while vok
converts a report again sees that report's old rows or its new rows, never a
mixture and never a part: each report is one transaction, and the journal is
a write-ahead log, so neither side waits for the other. Timing-dependent: the
reader polls as fast as it can while the job runs."""

import os
import shutil
import sqlite3
import subprocess
import tempfile
import threading
import time
import unittest

from e2e_support import FolderFiles, crlf

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
VOK = os.path.join(BUILD, "vok")
RECIPE = crlf("[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "[Table 1]",
              "ReadStartLine=BEGIN", "ReadStartLineOffset=1", "ReadEndLine=END",
              "ReadEndLineOffset=-1", "Parsing=------ ---", "WriteColumn=A")


def report(rows, mark):
    return crlf("BEGIN", *("%06d %s" % (n, mark) for n in range(rows)), "END")


class ReaderDuringJob(FolderFiles, unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-sqlite-reader-")
        self.home = os.path.join(self.dir, "home")
        os.mkdir(self.home)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def convert(self, content):
        source = self.write("month.txt", content)
        done = subprocess.run([VOK, "-i", source, "-r", self.path("r.rcp"), "-o",
                               self.path("year.db")],
                              env={**os.environ, "VOK_HOME": self.home}, capture_output=True,
                              check=False)
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        return source

    def test_a_reader_sees_old_or_new_rows_of_a_report_never_half(self):
        self.write("r.rcp", RECIPE)
        versions = [(30000, "OLD"), (20000, "NEW")]
        source = self.convert(report(*versions[0]))
        whole = {(rows, mark, mark) for rows, mark in versions}
        for run in range(4):
            seen = set()
            stop = threading.Event()

            rows, mark = versions[(run + 1) % 2]

            def read():
                # Until the job has ended and the reader's own connection,
                # open all along, sees the new rows.
                connection = sqlite3.connect(self.path("year.db"), timeout=30)
                try:
                    while True:
                        state = connection.execute(
                            "SELECT count(*), min(B), max(B) FROM table_1 WHERE source_file = ?",
                            (source,)).fetchone()
                        seen.add(state)
                        if stop.is_set() and (state == (rows, mark, mark) or
                                              time.monotonic() > stop.deadline):
                            break
                finally:
                    connection.close()

            reader = threading.Thread(target=read)
            reader.start()
            try:
                self.convert(report(rows, mark))
            finally:
                stop.deadline = time.monotonic() + 30
                stop.set()
                reader.join()
            self.assertIn((rows, mark, mark), seen, "the open reader never saw the new rows")
            self.assertLessEqual(seen, whole, "a reader saw part of a report")
            final = sqlite3.connect(self.path("year.db"))
            self.assertEqual(final.execute("SELECT count(*), min(B) FROM table_1").fetchone(),
                             (rows, mark))
            final.close()


if __name__ == "__main__":
    unittest.main()
