"""A SQLite database as output, read back with Python's own sqlite3 module:
the tables' rows with their types and report lines, consolidations, a folder
job that fills one database and replaces a report's rows when it is converted
again, and what must never change: a database a failing report touched, a
foreign table, a table whose columns clash. Every test runs in both
command-line syntaxes."""

import csv
import io
import os
import sqlite3
import subprocess
import unittest

from e2e_support import VokFolder, crlf

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
VOK = os.path.join(BUILD, "vok")


def ledger_line(a, b, c, d):
    return "%-10s  %-20s %12s %-16s" % (a, b, c, d)


REPORT = crlf("LEDGER REPORT",
              ledger_line("ACCOUNT NO", "DESCRIPTION", "AMOUNT", "COUNT"),
              ledger_line("-" * 10, "-" * 20, "-" * 12, "-" * 16),
              ledger_line("1000-00", "Cash in bank", "1,234.50", "12"),
              ledger_line("00123", "Payables, \"trade\"", "(12)", "1E3"),
              ledger_line("3000-00", "", "$1,500", "1234567890123456"),
              "",
              "                             TOTALS",
              "SUMMARY",
              "ITEMS       42",
              "RATE        0.5",
              "END OF REPORT")


def long_format(*sections):
    return crlf("[Header]", "Product=VOK", "FileType=EXPORT SPEC", "FileFormat=1.1",
                "[General]", "Name=", *sections)


def column(table, number, start, end, letter):
    return ("[Table %d Col %d]" % (table, number), "ReadColumnStart=%d" % start,
            "ReadColumnEnd=%d" % end, "WriteColumn=" + letter, "PeriodOperator=")


LEDGER = ("[Table 1]", "ReadStartLine=ACCOUNT NO", "ReadStartLineOffset=2",
          "ReadEndLine=TOTALS", "ReadEndLineOffset=-1", "TotalColumns=4",
          *column(1, 1, 1, 10, "A"), *column(1, 2, 13, 32, "B"),
          *column(1, 3, 34, 45, "C"), *column(1, 4, 47, 62, "D"))
SUMMARY = ("[Table 2]", "ReadStartLine=SUMMARY", "ReadStartLineOffset=1",
           "ReadEndLine=END OF REPORT", "ReadEndLineOffset=-1", "TotalColumns=2",
           *column(2, 1, 1, 10, "B"), *column(2, 2, 13, 20, "D"))
CONSOLIDATION = ("[Consolidate 1]", "Table=1", "ReadAccountsColumn=1", "TotalDepartments=1",
                 "[Con 1 Dept 1]", "ReadStartLine=1000-00", "ReadStartLineOffset=0",
                 "ReadEndLine=3000-00", "ReadEndLineOffset=0")


def rows(database, sql, *args):
    connection = sqlite3.connect(database)
    try:
        return connection.execute(sql, args).fetchall()
    finally:
        connection.close()


class SqliteOutput(VokFolder, unittest.TestCase):
    SYNTAX = "linux"
    SWITCHES = {**VokFolder.SWITCHES, "-s": "/S"}

    def setUp(self):
        self.make_folder("vok-sqlite-")

    def tearDown(self):
        self.remove_folder()

    def convert(self, report, recipe, output, expect_ok=True):
        code, err = self.vok("-i", report, "-r", recipe, "-o", output)
        if expect_ok:
            self.assertEqual((code, err), (0, ""))
        return code, err

    def test_two_tables_and_a_consolidation_are_stored_typed_with_their_lines(self):
        report = self.write("dec.txt", REPORT)
        spec = self.write("gl.t2x", long_format(*LEDGER, *SUMMARY, *CONSOLIDATION))
        database = self.path("Ledgers.SQLite3")
        self.convert(report, spec, database)
        self.assertEqual(sorted(os.listdir(self.dir)), ["Ledgers.SQLite3", "dec.txt", "gl.t2x",
                                                        "home"])
        # The texts as the CSV output keeps them, blanks and all.
        self.convert(report, self.write("one.t2x", long_format(*LEDGER)), self.path("dec.csv"))
        fields = list(csv.reader(io.StringIO(self.read("dec.csv").decode())))
        self.assertEqual(fields[0][0], "1000-00   ")
        got = rows(database, 'SELECT A, typeof(A), B, typeof(B), C, typeof(C), D, typeof(D), '
                             'source_file, source_line FROM table_1 ORDER BY rowid')
        expected = [
            (fields[0][0], "text", fields[0][1], "text", 1234.5, "real", 12, "integer"),
            (fields[1][0], "text", fields[1][1], "text", -12, "integer", 1000.0, "real"),
            (fields[2][0], "text", None, "null", 1500, "integer", fields[2][3], "text"),
            (None, "null", None, "null", None, "null", None, "null"),
        ]
        self.assertEqual([r[:8] for r in got], expected)
        self.assertEqual(fields[2][3], "1234567890123456")
        self.assertEqual({r[8] for r in got}, {report})
        self.assertEqual([r[9] for r in got], [4, 5, 6, 7])
        self.assertEqual(rows(database, "SELECT B, D, typeof(D), source_line FROM table_2"),
                         [("ITEMS     ", 42, "integer", 10), ("RATE      ", 0.5, "real", 11)])
        # Consolidated rows come from no line of their own.
        self.assertEqual(rows(database, "SELECT A, C, D, source_file, source_line "
                                        "FROM consolidation_1 ORDER BY rowid"),
                         [(fields[0][0], 1234.5, 12, report, None),
                          (fields[1][0], -12, 1000.0, report, None),
                          (fields[2][0], 1500, fields[2][3], report, None)])
        catalogue = rows(database, "SELECT name, recipe, loaded_at FROM vok_tables ORDER BY name")
        self.assertEqual([c[:2] for c in catalogue],
                         [("consolidation_1", spec), ("table_1", spec), ("table_2", spec)])
        for _, _, loaded in catalogue:
            self.assertRegex(loaded, r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertEqual(rows(database, "PRAGMA journal_mode"), [("wal",)])

    def test_rows_of_a_paged_report_carry_their_group_columns_and_lines(self):
        # Page headers, sub-totals and group lines write no row: each row
        # names the line it came from, and carries its groups' values typed.
        examples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../examples")
        report = os.path.abspath(os.path.join(examples, "monthly-ledger-pages.txt"))
        database = self.path("pages.db")
        self.convert(report, os.path.abspath(os.path.join(examples, "monthly-ledger-pages.rcp")),
                     database)
        self.assertEqual([r[1] for r in rows(database, "PRAGMA table_info(table_1)")],
                         ["A", "B", "C", "D", "E", "F", "G", "H", "source_file", "source_line"])
        with open(report, newline="") as f:
            lines = f.read().split("\r\n")
        got = rows(database, "SELECT A, B, typeof(E), F, typeof(G), source_line FROM table_1")
        self.assertEqual(len(got), 15)
        for a, b, e_type, f, g_type, line in got:
            self.assertTrue(lines[line - 1].lstrip("\f").startswith(a + b), (line, a, b))
            self.assertEqual((e_type, g_type), ("integer", "integer"))
        self.assertGreater(len({line for *_, line in got}), 1)
        self.assertEqual(rows(database, "SELECT count(DISTINCT F) FROM table_1")[0][0] > 1, True)

    def test_a_folder_job_fills_one_database_and_a_rerun_replaces_rows(self):
        spec = self.write("gl.t2x", long_format(*LEDGER, *SUMMARY))
        os.makedirs(self.path("in/east"))
        for n in range(20):
            folder = "in/east" if n % 2 else "in"
            self.write("%s/month%02d.txt" % (folder, n), REPORT)
        database = self.path("in/year.db")
        # The second run lists the database too: it is no report of the job.
        for pattern in ("in/*.txt", "in/*.*"):
            code, err = self.vok("-i", self.path(pattern), "-s", "-r", spec, "-o", database)
            self.assertEqual((code, err), (0, ""))
            self.assertEqual(rows(database, "SELECT count(*), count(DISTINCT source_file) "
                                            "FROM table_1"), [(80, 20)])
            self.assertEqual(rows(database, "SELECT count(*) FROM table_2"), [(40,)])
        # Replacing a report's rows goes by an index on source_file.
        self.assertIn("table_1_source", [r[1] for r in rows(database, "PRAGMA index_list(table_1)")])
        # A report changed and converted again replaces its own rows only.
        month = self.write("in/month00.txt", REPORT.replace("Cash in bank", "Petty cash  "))
        self.convert(month, spec, database)
        self.assertEqual(rows(database, "SELECT count(*) FROM table_1"), [(80,)])
        self.assertEqual(rows(database, "SELECT source_file FROM table_1 WHERE B LIKE 'Petty%'"),
                         [(month,)])
        self.assertEqual(sorted(os.listdir(self.path("in")))[:2], ["east", "month00.txt"])

    def test_a_failing_report_leaves_the_database_as_it_was(self):
        report = self.write("dec.txt", REPORT)
        spec = self.write("gl.t2x", long_format(*LEDGER))
        database = self.path("gl.db")
        # A report that fails as the first of a new database leaves no file.
        missing = self.write("bad.t2x", long_format(*LEDGER, *SUMMARY).replace(
            "END OF REPORT", "NOWHERE"))
        code, err = self.convert(report, missing, database, expect_ok=False)
        self.assertEqual(code, 1)
        self.assertIn("Can not find ReadEndLine: NOWHERE", err)
        self.assertFalse(os.path.exists(database))
        self.convert(report, spec, database)
        before = self.read("gl.db")
        for recipe, message in ((missing, "Can not find ReadEndLine: NOWHERE"),
                                (self.write("none.t2x", long_format(*LEDGER).replace(
                                    "ACCOUNT NO", "NO SUCH KEY")), "NO SUCH KEY")):
            code, err = self.convert(self.write("jan.txt", REPORT), recipe, database,
                                     expect_ok=False)
            self.assertEqual(code, 1)
            self.assertIn(message, err)
            self.assertEqual(self.read("gl.db"), before)
            self.assertEqual(sorted(n for n in os.listdir(self.dir) if n.startswith("gl.db")),
                             ["gl.db"])

    def test_foreign_tables_are_kept_and_a_clashing_table_is_refused(self):
        report = self.write("dec.txt", REPORT)
        spec = self.write("gl.t2x", long_format(*LEDGER))
        database = self.path("shared.db")
        connection = sqlite3.connect(database)
        connection.execute("CREATE TABLE customers (id INTEGER, name TEXT)")
        connection.execute("INSERT INTO customers VALUES (1, 'Ann')")
        connection.execute("CREATE TABLE table_1 (x, y)")
        connection.commit()
        connection.close()
        before = self.read("shared.db")
        code, err = self.convert(report, spec, database, expect_ok=False)
        self.assertEqual(code, 1)
        self.assertIn("Cannot write to %s: the table table_1 in it has the columns x, y, but "
                      "this recipe writes A, B, C, D, source_file, source_line; the table was "
                      "left as it is. The conversion of this file ends here." % database, err)
        self.assertEqual(self.read("shared.db"), before)
        rows(database, "DROP TABLE table_1")
        self.convert(report, spec, database)
        self.assertEqual(rows(database, "SELECT * FROM customers"), [(1, "Ann")])
        self.assertEqual(rows(database, "SELECT count(*) FROM table_1"), [(4,)])

    def test_a_table_vok_made_gains_missing_columns_only(self):
        report = self.write("dec.txt", REPORT)
        database = self.path("gl.db")
        three = list(LEDGER[:-5])  # without column D
        three[5] = "TotalColumns=3"
        self.convert(report, self.write("three.t2x", long_format(*three)), database)
        self.assertEqual([r[1] for r in rows(database, "PRAGMA table_info(table_1)")],
                         ["A", "B", "C", "source_file", "source_line"])
        other = self.write("jan.txt", REPORT)
        self.convert(other, self.write("four.t2x", long_format(*LEDGER)), database)
        self.assertEqual(rows(database, "SELECT source_file, count(D) FROM table_1 "
                                        "GROUP BY source_file ORDER BY source_file"),
                         [(report, 0), (other, 3)])
        # A column the recipe no longer writes is never dropped nor left empty silently.
        before = self.read("gl.db")
        code, err = self.convert(report, self.path("three.t2x"), database, expect_ok=False)
        self.assertEqual(code, 1)
        self.assertIn("the table table_1 in it has the columns A, B, C, source_file, "
                      "source_line, D, but this recipe writes A, B, C, source_file", err)
        self.assertEqual(self.read("gl.db"), before)

    def test_a_file_that_is_no_database_is_left_alone(self):
        report = self.write("dec.txt", REPORT)
        spec = self.write("gl.t2x", long_format(*LEDGER))
        self.write("notes.db", "my notes, not a database\n" * 100)
        code, err = self.convert(report, spec, self.path("notes.db"), expect_ok=False)
        self.assertEqual(code, 1)
        self.assertIn("Cannot open the database %s: file is not a database"
                      % self.path("notes.db"), err)
        self.assertEqual(self.read("notes.db"), b"my notes, not a database\n" * 100)

    def test_two_jobs_writing_one_new_database_both_succeed(self):
        spec = self.write("gl.t2x", long_format(*LEDGER))
        reports = [self.write("r%d.txt" % n, REPORT) for n in range(2)]
        for attempt in range(5):
            database = self.path("both%d.db" % attempt)
            jobs = []
            for n, report in enumerate(reports):
                # Each job its own program folder: they share only the database.
                home = self.path("home%d" % n)
                os.makedirs(home, exist_ok=True)
                args = ["-i", report, "-r", spec, "-o", database]
                if self.SYNTAX == "switch":
                    args = [self.SWITCHES.get(a, a.replace("/", "\\")) for a in args]
                jobs.append(subprocess.Popen([VOK, *args], env={**os.environ, "VOK_HOME": home},
                                             stderr=subprocess.PIPE, cwd=self.dir))
            for job in jobs:
                _, err = job.communicate(timeout=120)
                self.assertEqual((job.returncode, err), (0, b""))
            self.assertEqual(rows(database, "SELECT count(DISTINCT source_file), count(*) "
                                            "FROM table_1"), [(2, 8)])


    def test_a_system_whose_sqlite_cannot_be_loaded_says_so_and_still_converts_to_csv(self):
        # Only a database job loads the library: where it cannot be loaded
        # (here an empty file mounted over it, in a namespace of this test's
        # own), the job says why, writes no database, and CSV jobs still work.
        if os.geteuid() != 0 or subprocess.run(["unshare", "--mount", "true"]).returncode != 0:
            self.skipTest("a mount namespace needs root")
        listing = subprocess.run(["ldconfig", "-p"], capture_output=True, text=True).stdout
        library = next(line.split("=>")[1].strip() for line in listing.splitlines()
                       if line.strip().startswith("libsqlite3.so.0 "))
        report = self.write("dec.txt", REPORT)
        spec = self.write("gl.t2x", long_format(*LEDGER))
        home = self.path("home")
        os.makedirs(home, exist_ok=True)

        def without_sqlite(output):
            args = ["-i", report, "-r", spec, "-o", output]
            if self.SYNTAX == "switch":
                args = [self.SWITCHES.get(a, a.replace("/", "\\")) for a in args]
            job = subprocess.run(["unshare", "--mount", "sh", "-c",
                                  'mount --bind /dev/null "$0" && exec "$@"', library, VOK, *args],
                                 env={**os.environ, "VOK_HOME": home}, cwd=self.dir,
                                 capture_output=True, text=True, timeout=120)
            return job.returncode, job.stderr

        code, err = without_sqlite(self.path("Ledgers.db"))
        self.assertEqual(code, 1, err)
        self.assertIn("Cannot open the database %s: the SQLite library cannot be loaded ("
                      % self.path("Ledgers.db"), err)
        self.assertFalse(os.path.exists(self.path("Ledgers.db")))
        self.assertEqual(without_sqlite(self.path("dec.csv")), (0, ""))
        self.assertTrue(self.read("dec.csv").startswith(b"1000-00   ,"))


class SqliteOutputSwitchSyntax(SqliteOutput):
    SYNTAX = "switch"


if __name__ == "__main__":
    unittest.main()
