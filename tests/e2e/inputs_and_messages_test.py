"""Regression tests for inputs without bounds, files that cannot be read and
messages that gave the wrong cause or buried the user. Each runs the real
program the way the user did, in both command-line syntaxes, and checks the
exit status, the message and that what the user had is still there."""

import os
import shutil
import subprocess
import tempfile
import unittest

import openpyxl

from e2e_support import REPORT, FolderFiles, crlf, recipe

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
VOK = os.path.join(BUILD, "vok")
LIMIT = "is longer than 1 MiB (1,048,576 bytes)"


def sanitized():
    """A build under the address sanitizer reserves far more address space
    than any `ulimit -v` allows."""
    done = subprocess.run(["ldd", VOK], capture_output=True, text=True, check=False)
    return "libasan" in done.stdout


class Inputs(FolderFiles, unittest.TestCase):
    SYNTAX = "linux"
    SWITCHES = {"-i": "/I", "-o": "/O", "-r": "/R", "-s": "/S", "-t": "/T", "-w": "/W",
                "--preview": "/P"}

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-inputs-")
        # Open to an ordinary user, for the runs without the superuser's rights.
        os.chmod(self.dir, 0o755)
        self.home = self.path("home")
        os.mkdir(self.home)
        os.chmod(self.home, 0o777)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def command(self, args):
        if self.SYNTAX == "switch":
            return [self.SWITCHES.get(a, a.replace("/", "\\")) for a in args]
        return list(args)

    def vok(self, *args, prefix=(), memory_kb=None):
        """Runs vok as the user would; `prefix` runs it through another program
        (setpriv), `memory_kb` under `ulimit -v`."""
        command = [*prefix, VOK, *self.command(args)]
        if memory_kb is not None:
            command = ["bash", "-c", 'ulimit -v %d; exec "$@"' % memory_kb, "vok", *command]
        done = subprocess.run(command, env={**os.environ, "VOK_HOME": self.home},
                              capture_output=True, check=False, cwd=self.dir, timeout=120)
        return done.returncode, done.stderr.decode(errors="replace")

    def earlier(self, *names):
        """Outputs of a good run, which a failed run must leave as they were."""
        report, good = self.write("report.txt", REPORT), self.write("good.rcp", recipe())
        kept = {}
        for name in names:
            self.assertEqual(self.vok("-i", report, "-r", good, "-o", self.path(name)), (0, ""))
            kept[name] = self.read(name)
        return kept

    def assert_kept(self, kept):
        for name, content in kept.items():
            self.assertEqual(self.read(name), content, name)
        self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".~")], [])

    def test_lines_longer_than_1_mib_name_their_file_and_line(self):
        kept = self.earlier("out.csv", "out.xlsx")
        beyond = "x" * ((1 << 20) + 1)
        long_report = self.write("long.txt", REPORT.replace("LEDGER REPORT", "LEDGER\r\n" + beyond))
        long_marks = self.write("marks.txt", crlf(">>1", "-----", "alpha", beyond, "<<1"))
        long_recipe = self.write("long.rcp", recipe() + beyond)
        cases = [
            (("-i", long_report, "-r", self.path("good.rcp"), "-o", self.path("out.csv")),
             "Cannot read the report %s: line 2 %s" % (long_report, LIMIT)),
            (("-i", long_marks, "-o", self.path("out.xlsx")),
             "Cannot read the report %s: line 4 %s" % (long_marks, LIMIT)),
            (("-i", self.path("report.txt"), "-r", long_recipe, "-o", self.path("out.csv")),
             "Cannot read the recipe %s: line 12 %s" % (long_recipe, LIMIT)),
            (("--preview", "-i", long_report, "-r", self.path("good.rcp")),
             "Cannot read the report %s: line 2 %s" % (long_report, LIMIT)),
        ]
        for args, message in cases:
            code, err = self.vok(*args)
            self.assertEqual(code, 1, err)
            self.assertIn(message, err)
        self.assert_kept(kept)
        # A line of exactly 1 MiB is a line like any other.
        at_limit = self.write("at-limit.txt", REPORT.replace("LEDGER REPORT", "L" * (1 << 20)))
        self.assertEqual(self.vok("-i", at_limit, "-r", self.path("good.rcp"), "-o",
                                  self.path("new.csv")), (0, ""))
        self.assertEqual(self.read("new.csv"), kept["out.csv"])

    def test_reports_and_recipes_without_line_ends_stay_within_memory(self):
        # A 3 GiB report and recipe without a line end ended in
        # "vok: unexpected failure: std::bad_alloc". Sparse: no disk is used.
        if sanitized():
            self.skipTest("ulimit -v cannot hold a sanitized build")
        kept = self.earlier("out.xlsx")
        for name in ("huge.txt", "huge.rcp"):
            with open(self.path(name), "wb") as f:
                f.truncate(3 << 30)
        huge_report, huge_recipe = self.path("huge.txt"), self.path("huge.rcp")
        good, report = self.path("good.rcp"), self.path("report.txt")
        cases = [
            (("-i", huge_report, "-r", good, "-o", self.path("out.xlsx")), huge_report, "report"),
            (("-i", huge_report, "-o", self.path("out.xlsx")), huge_report, "report"),
            (("--preview", "-i", huge_report, "-r", good), huge_report, "report"),
            (("-i", report, "-r", huge_recipe, "-o", self.path("out.xlsx")), huge_recipe, "recipe"),
            (("--preview", "-i", report, "-r", huge_recipe), huge_recipe, "recipe"),
        ]
        for args, path, what in cases:
            code, err = self.vok(*args, memory_kb=500 * 1024)
            self.assertEqual(code, 1, err)
            self.assertIn("Cannot read the %s %s: line 1 %s" % (what, path, LIMIT), err)
            self.assertNotIn("unexpected failure", err)
        self.assert_kept(kept)

    def test_one_wide_row_does_not_widen_every_row_of_a_derived_layout(self):
        # A derived layout padded every row to its widest: one line of 1 MiB
        # among 9,000 short ones took gigabytes and ended in "not found".
        if sanitized():
            self.skipTest("ulimit -v cannot hold a sanitized build")
        rows = ["%-10s %8d" % ("acct%d" % i, i) for i in range(9000)]
        rows[5] += " " + "x" * ((1 << 20) - 40)
        report = self.write("wide.txt", "HEAD\n" + "\n".join(rows) + "\nEND\n")
        derive = self.write("derive.rcp", recipe("HEAD", "1", "END", "-1", "="))
        code, err = self.vok("-i", report, "-r", derive, "-o", self.path("wide.csv"),
                             memory_kb=1024 * 1024)
        self.assertEqual((code, err), (0, ""))
        lines = self.read("wide.csv").decode().split("\r\n")
        self.assertEqual(len(lines), 9001)
        self.assertEqual(lines[1], "acct1          ,   1 ,")

    def test_a_job_that_runs_out_of_memory_names_its_file(self):
        # "vok: unexpected failure: std::bad_alloc" named no file.
        if sanitized():
            self.skipTest("ulimit -v cannot hold a sanitized build")
        report, good = self.write("report.txt", REPORT), self.write("good.rcp", recipe())
        # A new workbook needs no more memory for more rows; writing into an
        # existing one holds its sheet. The least address space a small job
        # into an existing workbook needs here, in steps of 8 MiB.
        book = self.path("big.xlsx")
        self.assertEqual(self.vok("-i", report, "-r", good, "-o", book), (0, ""))
        limit = 64 * 1024
        while self.vok("-i", report, "-r", good, "-o", book, memory_kb=limit)[0] != 0:
            limit += 8 * 1024
            self.assertLess(limit, 4 << 20, "no address space is enough for a small job")
        before = self.read(book)
        rows = ["%-10s %-20s %9.2f" % ("%04d-00" % (i % 10000), "Item %d" % i, i * 1.25)
                for i in range(400000)]
        big = self.write("big.txt", REPORT.replace("3000-00", "\r\n".join(rows) + "\r\n3000-00"))
        code, err = self.vok("-i", big, "-r", good, "-o", book, memory_kb=limit + 24 * 1024)
        self.assertEqual(code, 1, err)
        self.assertIn("The conversion of %s stopped: there is not enough memory. %s was not "
                      "written." % (big, book), err)
        self.assertNotIn("unexpected failure", err)
        self.assertEqual(self.read(book), before)

    def test_unreadable_files_say_that_they_cannot_be_read(self):
        # As an ordinary user, an unreadable recipe read as "holds no table
        # section" and an unreadable report as "Can not find ReadStartLine".
        if os.geteuid() == 0 and shutil.which("setpriv") is None:
            self.skipTest("no setpriv to drop the superuser's rights")
        prefix = (["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
                  if os.geteuid() == 0 else [])
        out = self.path("out")
        os.mkdir(out)
        os.chmod(out, 0o777)
        report, good = self.write("report.txt", REPORT), self.write("good.rcp", recipe())
        marked = self.write("marked.txt", crlf(">>1", "------- ----", "alpha   1234", "<<1"))
        for name in (report, good, marked):
            os.chmod(name, 0o644)
        secret_recipe = self.write("secret.rcp", recipe())
        secret_report = self.write("secret.txt", REPORT)
        secret_marks = self.write("secret-marks.txt", crlf(">>1", "----", "x", "<<1"))
        for name in (secret_recipe, secret_report, secret_marks):
            os.chmod(name, 0)
        cases = [
            (("-i", report, "-r", secret_recipe, "-o", out + "/a.csv"),
             "Cannot read the recipe %s: Permission denied" % secret_recipe),
            (("-i", secret_report, "-r", good, "-o", out + "/b.xlsx"),
             "Cannot read the report %s: Permission denied" % secret_report),
            (("-i", secret_marks, "-o", out + "/c.csv"),
             "Cannot read the report %s: Permission denied" % secret_marks),
            (("--preview", "-i", report, "-r", secret_recipe),
             "Cannot read the recipe %s: Permission denied" % secret_recipe),
            (("--preview", "-i", secret_report, "-r", good),
             "Cannot read the report %s: Permission denied" % secret_report),
        ]
        for args, message in cases:
            code, err = self.vok(*args, prefix=prefix)
            self.assertEqual(code, 1, err)
            self.assertIn(message, err)
            self.assertNotIn("holds no table section", err)
            self.assertNotIn("Can not find", err)
        # The readable ones still convert in the same run as the user.
        self.assertEqual(self.vok("-i", marked, "-o", out + "/d.csv", prefix=prefix), (0, ""))
        self.assertEqual(sorted(os.listdir(out)), ["d.csv"])

    def test_running_out_of_file_descriptors_says_so(self):
        # Out of file descriptors, a recipe read as "holds no table section",
        # and a table's rows as empty ones. At every limit the run either
        # converts as without one or says the cause.
        if sanitized():
            # The sanitizers' runtime checks a pointer through a pipe of its
            # own, which it cannot open here: it would report the first call.
            self.skipTest("the sanitizers' runtime needs file descriptors of its own")
        kept = self.earlier("out.csv")
        derive = self.write("derive.rcp", recipe(parsing="="))
        causes = set()
        for recipe_file in (self.path("good.rcp"), derive):
            for limit in range(4, 12):
                code, err = self.vok("-i", self.path("report.txt"), "-r", recipe_file, "-o",
                                     self.path("new.csv"), prefix=["prlimit", "--nofile=%d" % limit])
                if code == 0:
                    self.assertEqual(err, "")
                    continue
                self.assertIn("Too many open files", err)
                self.assertNotIn("holds no table section", err)
                causes.add(err.split(":")[0])
        # Where the descriptors run out depends on how many the job holds
        # open at each step; every place names its file and the cause.
        self.assertIn("Cannot read the report " + self.path("report.txt"), causes)
        self.assertLessEqual(causes, {"Cannot read the recipe " + self.path("good.rcp"),
                                      "Cannot read the recipe " + derive,
                                      "Cannot read the report " + self.path("report.txt"),
                                      "Cannot write the export-specs file " +
                                      os.path.join(self.home, "_ExportSpecs.t2x")})
        self.assert_kept(kept)

    def test_a_named_pipe_as_input_says_what_it_is_and_never_waits(self):
        pipe = self.path("pipe.txt")
        os.mkfifo(pipe)
        self.write("good.rcp", recipe())
        for args in (("-i", pipe, "-r", self.path("good.rcp"), "-o", self.path("a.csv")),
                     ("-i", pipe, "-o", self.path("a.csv")),
                     ("-i", self.path("good.rcp"), "-r", pipe, "-o", self.path("a.csv"))):
            code, err = self.vok(*args)
            self.assertEqual(code, 1, err)
            self.assertIn("%s is a named pipe (FIFO), not a file!" % pipe, err)
        self.assertFalse(os.path.exists(self.path("a.csv")))

    def test_a_job_whose_output_lies_in_its_input_tree_leaves_earlier_outputs_out(self):
        # A folder job with its output inside its input tree converted its
        # earlier outputs on the next run: out/out/out ...
        os.makedirs(self.path("tree/sub"))
        self.write("tree/a.txt", REPORT)
        self.write("tree/sub/b.txt", REPORT)
        good = self.write("good.rcp", recipe())
        args = ("-i", self.path("tree/*.*"), "-s", "-r", good, "-o", self.path("tree/out/*.csv"))
        self.assertEqual(self.vok(*args), (0, ""))
        first = self.read("tree/out/sub/b.csv")
        for _ in range(2):
            code, err = self.vok(*args)
            self.assertEqual(code, 0, err)
            self.assertEqual(err.count("\n"), 1, err)
            self.assertIn("2 files under the output folder %s match the output pattern and were "
                          "left out of the input list" % self.path("tree/out"), err)
        found = sorted(os.path.relpath(os.path.join(d, f), self.path("tree"))
                       for d, _, files in os.walk(self.path("tree")) for f in files)
        self.assertEqual(found, ["a.txt", "out/a.csv", "out/sub/b.csv", "sub/b.txt"])
        self.assertEqual(self.read("tree/out/sub/b.csv"), first)

    def test_two_reports_of_one_name_never_write_over_each_others_output(self):
        # a.txt and a.prn, listed by "*.*", both name the output a.csv (or
        # a.xlsx): the second replaced the first's while the job said both
        # were converted.
        os.makedirs(self.path("in"))
        first = REPORT
        second = REPORT.replace("Cash in bank", "Cash on hand").replace(
            "3000-00    Capital              9,000.00\r\n", "")
        self.write("in/a.prn", first)
        self.write("in/a.txt", second)
        # A report that writes nothing leaves its name to the next.
        self.write("in/b.doc", "NO TABLE HERE\r\n")
        self.write("in/b.txt", first)
        good = self.write("good.rcp", recipe())
        for extension in ("csv", "xlsx"):
            alone = {}
            for name in ("a.prn", "a.txt"):
                output = self.path("alone-%s.%s" % (name, extension))
                self.assertEqual(self.vok("-i", self.path("in/" + name), "-r", good, "-o", output),
                                 (0, ""))
                alone[name] = self.rows(output)
            code, err = self.vok("-i", self.path("in/*.*"), "-r", good, "-o",
                                 self.path(extension + "/*." + extension))
            self.assertEqual(code, 1, err)
            output = self.path(extension + "/a." + extension)
            # Whichever came first is converted; the other is named and left.
            kept, left = ("a.prn", "a.txt") if "a.txt would" in err else ("a.txt", "a.prn")
            self.assertIn("The output file %s was written from %s earlier in this job; %s would "
                          "replace it, so nothing was written for it. Give the two reports "
                          "different names." % (output, self.path("in/" + kept),
                                                self.path("in/" + left)), err)
            self.assertEqual(self.rows(output), alone[kept], extension)
            self.assertEqual(self.rows(self.path(extension + "/b." + extension)), alone["a.prn"])
            self.assertEqual(sorted(os.listdir(self.path(extension))),
                             ["a." + extension, "b." + extension])

    def rows(self, path):
        if path.endswith(".csv"):
            return self.read(os.path.relpath(path, self.dir))
        return [[c.value for c in row] for row in openpyxl.load_workbook(path).active.iter_rows()]

    def test_a_folder_job_converts_a_report_whose_name_holds_a_question_mark(self):
        # A listed report named "a?b.txt" was said not to exist: its name was
        # taken for a pattern.
        os.mkdir(self.path("in"))
        for name in ("a?b.txt", "plain.txt"):
            self.write("in/" + name, REPORT)
        good = self.write("good.rcp", recipe())
        args = ("-i", self.path("in/*.txt"), "-r", good, "-o", self.path("out/*.csv"))
        self.assertEqual(self.vok(*args), (0, ""))
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["a?b.csv", "plain.csv"])
        self.assertEqual(self.read("out/a?b.csv"), self.read("out/plain.csv"))

    def test_repeated_messages_are_said_once_with_their_place_and_count(self):
        # A 20,000-field template printed 1.9 MB of one repeated line; the
        # equal-sign warning came once per cell, without its place.
        good = self.write("wide.rcp", recipe(parsing="- " * 20000))
        self.write("report.txt", REPORT)
        code, err = self.vok("-i", self.path("report.txt"), "-r", good, "-o", self.path("w.csv"))
        self.assertEqual(code, 1)
        self.assertLess(len(err), 1000, err[:1000])
        self.assertIn("unexpected number code in xl.NumToAlpha2! (repeated 19297 times)", err)
        self.assertIn("Error in Table 1 : Write Column must be (A-Z)! (repeated", err)

        text = "Error: Source Data field begin with Equal Sign! This may not be accepted by Excel!"
        rows = "".join("%-5s %-5s\r\n" % ("=a%d" % i, "=b%d" % i) for i in range(500))
        report = self.write("formulas.txt", "HEAD\r\n" + rows + "END\r\n")
        formulas = self.write("formulas.rcp", recipe("HEAD", "1", "END", "-1", "----- -----"))
        for output, place in (("f.csv", "(line 1, field 1)"), ("f.xlsx", "(row 1, column A)")):
            code, err = self.vok("-i", report, "-r", formulas, "-o", self.path(output))
            self.assertEqual(code, 1)
            self.assertEqual(err, "%s %s\n%s (repeated 999 times)\n" % (text, place, text))
        self.assertEqual(openpyxl.load_workbook(self.path("f.xlsx")).active["B500"].value, "=b499")

    def test_a_report_read_as_windows_1252_because_of_one_line_says_which(self):
        # One invalid byte turned every "é" of a UTF-8 report into "Ã©", silently.
        report = self.write("mixed.txt", REPORT.replace("Cash in bank", "Café in bank")
                            .encode().replace(b"Payables", b"Pay\xe9bles"))
        self.write("good.rcp", recipe())
        code, err = self.vok("-i", report, "-r", self.path("good.rcp"), "-o", self.path("m.xlsx"))
        self.assertEqual(code, 0, err)
        self.assertEqual(err.count("\n"), 1, err)
        self.assertIn("Line 5 of the report %s is not valid UTF-8, so the whole report is read "
                      "as Windows-1252" % report, err)
        # A report that is Windows-1252 throughout is nothing to tell.
        latin = self.write("latin.txt", REPORT.encode().replace(b"Payables", b"Pay\xe9bles"))
        self.assertEqual(self.vok("-i", latin, "-r", self.path("good.rcp"), "-o",
                                  self.path("l.xlsx")), (0, ""))

    def test_a_chart_sheet_is_named_as_such(self):
        # A workbook whose first sheet is a chart sheet said "has no sheet 1".
        book = openpyxl.Workbook()
        data = book.active
        data.title = "Data"
        data.append([1])
        chart = book.create_chartsheet("Chart", 0)
        bar = openpyxl.chart.BarChart()
        bar.add_data(openpyxl.chart.Reference(data, min_col=1, min_row=1, max_row=1))
        chart.add_chart(bar)
        book.save(self.path("charts.xlsx"))
        before = self.read("charts.xlsx")
        self.write("report.txt", REPORT)
        self.write("good.rcp", recipe())
        code, err = self.vok("-i", self.path("report.txt"), "-r", self.path("good.rcp"), "-o",
                             self.path("charts.xlsx"))
        self.assertEqual(code, 1, err)
        self.assertIn("Cannot write to sheet 1 of the workbook %s: it is a chart sheet"
                      % self.path("charts.xlsx"), err)
        self.assertNotIn("has no sheet", err)
        self.assertEqual(self.read("charts.xlsx"), before)
        # Another sheet target writes beside the chart.
        code, err = self.vok("-i", self.path("report.txt"), "-r", self.path("good.rcp"), "-o",
                             self.path("charts.xlsx"), "-w", "Data")
        self.assertEqual((code, err), (0, ""))


class InputsSwitchSyntax(Inputs):
    SYNTAX = "switch"


if __name__ == "__main__":
    unittest.main()
