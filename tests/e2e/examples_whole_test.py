"""The bundled examples lose nothing: every non-blank character of a report
line that became a CSV row is in that row's fields, in order.

Guards the fault in which a line of examples/trial-balance.txt stood one
position right of its column, so the fixed template cut "40,000.00" to
"40,000.0" in the CSV that ./run.sh shows new users."""
import csv
import os
import subprocess
import tempfile
import unittest

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
VOK = os.path.join(BUILD, "vok")
EXAMPLES = os.path.join(SOURCE, "examples")

# (report, recipe or None for the marks in the report)
JOBS = [
    ("trial-balance.txt", "trial-balance.rcp"),
    ("trial-balance-marked.txt", None),
    ("general-ledger.txt", "general-ledger.rcp"),
    ("vendor-balances-tabs.txt", "vendor-balances-tabs.rcp"),
]


def squeezed(text):
    return "".join(text.split())


class ExamplesWhole(unittest.TestCase):
    def test_every_row_keeps_every_character_of_its_line(self):
        with tempfile.TemporaryDirectory(prefix="vok-examples-") as work:
            home = os.path.join(work, "home")
            os.mkdir(home)
            for report, recipe in JOBS:
                with self.subTest(report=report):
                    output = os.path.join(work, report + ".csv")
                    argv = [VOK, "-i", os.path.join(EXAMPLES, report), "-o", output]
                    if recipe:
                        argv += ["-r", os.path.join(EXAMPLES, recipe)]
                    run = subprocess.run(argv, env=dict(os.environ, VOK_HOME=home),
                                         capture_output=True, text=True)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    with open(os.path.join(EXAMPLES, report), encoding="latin-1") as f:
                        lines = [squeezed(line.expandtabs(8)) for line in f]
                    with open(output, newline="", encoding="latin-1") as f:
                        rows = [squeezed("".join(row)) for row in csv.reader(f)]
                    self.assertTrue(rows)
                    # Each row is some report line whole (tabs expanded, blanks aside).
                    for row in rows:
                        self.assertTrue(row in lines, "a row lost characters of its line: " + row)

    def test_the_paged_ledger_keeps_its_entries_whole_with_their_groups(self):
        # The ledger over four pages: every row is an entry line whole, then
        # its department and its account, as their group lines above it say.
        with tempfile.TemporaryDirectory(prefix="vok-examples-") as work:
            output = os.path.join(work, "ledger.csv")
            run = subprocess.run([VOK, "-i", os.path.join(EXAMPLES, "monthly-ledger-pages.txt"),
                                  "-r", os.path.join(EXAMPLES, "monthly-ledger-pages.rcp"),
                                  "-o", output], env=dict(os.environ, VOK_HOME=work),
                                 capture_output=True, text=True)
            self.assertEqual((run.returncode, run.stderr), (0, ""))
            expected = []
            with open(os.path.join(EXAMPLES, "monthly-ledger-pages.txt"), newline="") as f:
                for line in f.read().split("\r\n"):
                    if line.startswith("DEPARTMENT: "):
                        department = squeezed(line[12:])
                    elif line.startswith("ACCOUNT: "):
                        account = squeezed(line[9:])
                    elif line[:2].isdigit():
                        expected.append(squeezed(line) + department + account)
            with open(output, newline="") as f:
                rows = [squeezed("".join(row)) for row in csv.reader(f)]
            self.assertEqual(len(rows), 15)
            self.assertEqual(rows, expected)


if __name__ == "__main__":
    unittest.main()
