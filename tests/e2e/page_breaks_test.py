"""Reports with page breaks and group lines, converted by the real program:
page headers after form feeds, skip texts and blank lines are left out, group
values go onto every row (CSV and workbooks, numbers typed), derived layouts
see only the lines kept, a consolidation sums only rows written, the working
export-specs file carries the keys (so /R with it gives the same rows), the
preview shows the job's rows and marks the lines left out, and bad values are
refused with the table and the key named. Every test runs in both syntaxes."""

import csv
import os
import shutil
import subprocess
import tempfile
import unittest

import openpyxl

from e2e_support import FolderFiles, crlf, run_vok

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
VOK = os.path.join(BUILD, "vok")

FF = "\f"


def recipe(*keys, parsing="----- -------", start="REPORT", start_offset="1", end="END",
           end_offset="-1"):
    return crlf("[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "[Table 1]",
                "ReadStartLine=" + start, "ReadStartLineOffset=" + start_offset,
                "ReadEndLine=" + end, "ReadEndLineOffset=" + end_offset,
                "Parsing=" + parsing, "WriteColumn=A", *keys)


# Three pages, each opened by a form feed and two heading lines that would
# otherwise be rows; the second page breaks a department.
PAGES = crlf("REPORT",
             FF + "ACME LTD   PAGE 1",
             "ITEM  AMOUNT",
             "DEPT 10 RETAIL",
             "ACCT 4000",
             "apple    1.50",
             "pear    12.00",
             "   SUBTOTAL  13.50",
             "",
             FF + "ACME LTD   PAGE 2",
             "ITEM  AMOUNT",
             "plum     2.25",
             "ACCT 4010",
             "fig    1,000",
             "DEPT 20 TRADE",
             "ACCT 5000",
             "   ",
             FF + "ACME LTD   PAGE 3",
             "ITEM  AMOUNT",
             "nut      0.75",
             "END")

GROUP_KEYS = ("SkipLine1=SUBTOTAL", "SkipBlankLines=YES", "PageHeaderLines=2",
              "GroupLine1=DEPT", "GroupParsing1=     -- ------", "GroupWriteColumn1=D",
              "GroupLine2=ACCT", "GroupParsing2=     ----", "GroupWriteColumn2=F")

GROUP_ROWS = ["apple ,   1.50,10 ,RETAIL,4000",
              "pear  ,  12.00,10 ,RETAIL,4000",
              "plum  ,   2.25,10 ,RETAIL,4000",
              'fig   ," 1,000 ",10 ,RETAIL,4010',
              "nut   ,   0.75,20 ,TRADE ,5000"]


class PageBreaks(FolderFiles, unittest.TestCase):
    SYNTAX = "linux"

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-pages-")
        self.home = os.path.join(self.dir, "home")
        os.mkdir(self.home)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def vok(self, *args):
        return run_vok(VOK, self.home, args, self.SYNTAX, cwd=self.dir)

    def csv(self, report, rcp):
        """The CSV lines of a conversion that must succeed without a word;
        the same rows must come out of a workbook (numbers typed) and of the
        preview."""
        out = self.path("out.csv")
        code, err = self.vok("-i", self.write("report.txt", report), "-r",
                             self.write("recipe.rcp", rcp), "-o", out)
        self.assertEqual((code, err), (0, ""))
        with open(out, newline="", encoding="utf-8") as f:
            lines = f.read().split("\r\n")[:-1]
        fields = list(csv.reader(lines))
        self.check_workbook(fields)
        self.check_preview(fields)
        return lines

    def check_workbook(self, fields):
        out = self.path("out.xlsx")
        code, err = self.vok("-i", self.path("report.txt"), "-r", self.path("recipe.rcp"),
                             "-o", out)
        self.assertEqual((code, err), (0, ""))
        sheet = openpyxl.load_workbook(out).worksheets[0]
        cells = [list(r) for r in sheet.iter_rows(values_only=True)] if fields else []
        self.assertEqual(len(cells), len(fields))
        for row, line in zip(cells, fields):
            row = [c for c in row if c is not None or len(row) <= len(line)]
            for cell, field in zip(row, line):
                if isinstance(cell, (int, float)):
                    self.assertEqual(cell, float(field.replace(",", "")), line)
                elif cell is None:
                    self.assertEqual(field.strip(), "", line)
                else:
                    self.assertEqual(cell, field, line)

    def check_preview(self, fields):
        done = subprocess.run([VOK, "--preview", "--rows", "1000", "-i", self.path("report.txt"),
                               "-r", self.path("recipe.rcp")], capture_output=True, text=True,
                              env={**os.environ, "VOK_HOME": self.home}, check=False)
        self.assertEqual(done.returncode, 0, done.stderr)
        shown = [[c.strip() for c in line.split("|")[1:]] for line in done.stdout.splitlines()
                 if line.strip()[:1].isdigit() and "|" in line]
        self.assertEqual(shown, [[f.strip() for f in line] for line in fields])

    def test_page_headers_skip_texts_blank_lines_and_two_groups_to_csv(self):
        self.assertEqual(self.csv(PAGES, recipe(*GROUP_KEYS)), GROUP_ROWS)
        # Each rule alone. Without the page header rule the form feed is no
        # character: the heading lines come out unshifted.
        self.assertEqual(self.csv(PAGES, recipe("PageHeaderLines=2", "SkipLine1=DEPT",
                                                "SkipLine2=ACCT", "SkipLine3=SUB"))[:3],
                         ["apple ,   1.50", "pear  ,  12.00", ","])
        rows = self.csv(PAGES, recipe("SkipBlankLines=no"))
        self.assertEqual(rows[:2], ["ACME L,TD   PA", "ITEM  ,AMOUNT "])
        self.assertEqual(len(rows), 19)
        self.assertEqual(self.csv(PAGES, recipe("SkipBlankLines=YES", "SkipLine1=ACME",
                                                "SkipLine2=ITEM"))[5:8],
                         ["plum  ,   2.25", "ACCT 4,010 ", 'fig   ," 1,000 "'])

    def test_group_values_go_into_a_workbook_with_numbers_typed(self):
        out = self.path("out.xlsx")
        code, err = self.vok("-i", self.write("report.txt", PAGES), "-r",
                             self.write("recipe.rcp", recipe(*GROUP_KEYS)), "-o", out)
        self.assertEqual((code, err), (0, ""))
        sheet = openpyxl.load_workbook(out).worksheets[0]
        rows = [list(r) for r in sheet.iter_rows(values_only=True)]
        self.assertEqual(rows, [["apple ", 1.5, None, 10, "RETAIL", 4000],
                                ["pear  ", 12, None, 10, "RETAIL", 4000],
                                ["plum  ", 2.25, None, 10, "RETAIL", 4000],
                                ["fig   ", 1000, None, 10, "RETAIL", 4010],
                                ["nut   ", 0.75, None, 20, "TRADE ", 5000]])

    def test_rows_before_the_first_group_line_or_without_one_get_empty_group_columns(self):
        report = crlf("REPORT", "early    1.00", "DEPT 10 RETAIL", "late     2.00", "END")
        keys = ("GroupLine1=DEPT", "GroupParsing1=     -- ------", "GroupWriteColumn1=C")
        self.assertEqual(self.csv(report, recipe(*keys)),
                         ["early ,   1.00,,", "late  ,   2.00,10 ,RETAIL"])
        # A group line first of all, and no group line at all.
        self.assertEqual(self.csv(crlf("REPORT", "DEPT 30 STORE", "x        3.00", "END"),
                                  recipe(*keys)), ["x     ,   3.00,30 ,STORE "])
        self.assertEqual(self.csv(crlf("REPORT", "x        3.00", "END"), recipe(*keys)),
                         ["x     ,   3.00,,"])

    def test_a_derived_layout_sees_only_the_lines_kept(self):
        # The page header lines are wider and would split the columns elsewhere.
        report = crlf("REPORT", FF + "WIDE HEADING THAT SPANS EVERYTHING", "C O L U M N S",
                      "ab    10", "abc  200", FF + "WIDE HEADING THAT SPANS EVERYTHING",
                      "C O L U M N S", "a      3", "END")
        rows = self.csv(report, recipe("PageHeaderLines=2", parsing="=R"))
        self.assertEqual(rows, ["ab  ,  10 ", "abc , 200 ", "a   ,   3 "])
        work = open(os.path.join(self.home, "_ExportSpecs.t2x"), newline="",
                    encoding="utf-8").read()
        self.assertIn("TotalColumns=2\r\nPageHeaderLines=2\r\n[Table 1 Col 1]", work)

    def test_the_export_specs_file_carries_the_keys(self):
        # The working file is itself a recipe for /R: the same rows again.
        self.csv(PAGES, recipe(*GROUP_KEYS))
        specs = open(os.path.join(self.home, "_ExportSpecs.t2x"), newline="",
                     encoding="utf-8").read()
        self.assertIn(crlf(*(["TotalColumns=2"] + list(GROUP_KEYS))), specs)
        self.write("specs.t2x", specs)
        out = self.path("again.csv")
        code, err = self.vok("-i", self.path("report.txt"), "-r", self.path("specs.t2x"),
                             "-o", out)
        self.assertEqual((code, err), (0, ""))
        with open(out, newline="", encoding="utf-8") as f:
            self.assertEqual(f.read().split("\r\n")[:-1], GROUP_ROWS)

    def test_a_folder_job_leaves_out_the_same_lines_in_every_report(self):
        os.mkdir(self.path("in"))
        os.mkdir(self.path("out"))
        self.write("in/march.txt", PAGES)
        self.write("in/april.txt", PAGES.replace("apple", "melon"))
        code, err = self.vok("-i", self.path("in/*.txt"), "-r",
                             self.write("recipe.rcp", recipe(*GROUP_KEYS)), "-o",
                             self.path("out/*.csv"))
        self.assertEqual((code, err), (0, ""))
        for name, first in (("march", "apple "), ("april", "melon ")):
            with open(self.path(f"out/{name}.csv"), newline="", encoding="utf-8") as f:
                rows = f.read().split("\r\n")[:-1]
            self.assertEqual(rows, [first + GROUP_ROWS[0][6:]] + GROUP_ROWS[1:])

    def test_a_consolidation_sums_only_the_rows_written(self):
        report = crlf("REPORT", "DEPT A", "cash     1.00", FF + "PAGE 2", "cash    99.00",
                      "rent     2.00", "TOTAL A   3.00", "", "DEPT B", "cash     4.00",
                      "TOTAL B   4.00", "END")
        specs = crlf("[Header]", "Product=VOK", "FileType=EXPORT SPEC", "FileFormat=1.1",
                     "[General]", "Name=", "[Table 1]", "ReadStartLine=REPORT",
                     "ReadStartLineOffset=1", "ReadEndLine=END", "ReadEndLineOffset=-1",
                     "TotalColumns=2", "SkipBlankLines=YES", "PageHeaderLines=2",
                     "[Table 1 Col 1]", "ReadColumnStart=1", "ReadColumnEnd=9",
                     "WriteColumn=A", "PeriodOperator=", "[Table 1 Col 2]",
                     "ReadColumnStart=10", "ReadColumnEnd=14", "WriteColumn=B",
                     "PeriodOperator=", "[Consolidate 1]", "Table=1", "ReadAccountsColumn=1",
                     "TotalDepartments=2", "[Con 1 Dept 1]", "ReadStartLine=DEPT A",
                     "ReadStartLineOffset=1", "ReadEndLine=TOTAL A", "ReadEndLineOffset=-1",
                     "[Con 1 Dept 2]", "ReadStartLine=DEPT B", "ReadStartLineOffset=1",
                     "ReadEndLine=TOTAL B", "ReadEndLineOffset=-1")
        out = self.path("out.xlsx")
        code, err = self.vok("-i", self.write("report.txt", report), "-r",
                             self.write("specs.t2x", specs), "-o", out)
        self.assertEqual((code, err), (0, ""))
        book = openpyxl.load_workbook(out)
        self.assertEqual([r[0] for r in book.worksheets[0].iter_rows(values_only=True)],
                         ["DEPT A ", "cash     ", "rent     ", "TOTAL A  ", "DEPT B ",
                          "cash     ", "TOTAL B  "])
        # The 99.00 on the page header's second line is no row, so no part of a sum.
        sums = {r[0]: r[1] for r in book.worksheets[1].iter_rows(values_only=True) if r[0]}
        self.assertEqual(sums, {"cash     ": 5, "rent     ": 2})

    def test_the_preview_shows_the_jobs_rows_and_marks_the_lines_left_out(self):
        rows = self.csv(PAGES, recipe(*GROUP_KEYS))
        done = subprocess.run([VOK, "--preview", "-i", self.path("report.txt"), "-r",
                               self.path("recipe.rcp")], capture_output=True, text=True,
                              env={**os.environ, "VOK_HOME": self.home}, check=False)
        self.assertEqual(done.returncode, 0, done.stderr)
        text = done.stdout
        self.assertIn("Table 1: lines 2 to 20, 5 rows (14 lines left out)", text)
        for line in ["   2 page     ACME LTD   PAGE 1", "   4 group 1  DEPT 10 RETAIL",
                     "   5 group 2  ACCT 4000", "   8 skip        SUBTOTAL  13.50",
                     "   6          apple    1.50"]:
            self.assertIn(line + "\n", text)
        shown = [line.split("|")[1:] for line in text.splitlines()
                 if line.strip()[:1].isdigit() and "|" in line]
        self.assertEqual(len(shown), 5)
        self.assertEqual([[c.strip() for c in cells] for cells in shown],
                         [[c.strip() for c in row] for row in csv.reader(rows)])

    def test_bad_values_are_refused_naming_the_table_and_the_key(self):
        out = self.write("out.csv", "earlier output\r\n")
        report = self.write("report.txt", PAGES)
        cases = [(("PageHeaderLines=-1",), "Error in Table 1 : PageHeaderLines must be a whole "
                  "number from 1 to 999: -1"),
                 (("PageHeaderLines=x",), "PageHeaderLines must be a whole number from 1 to "
                  "999: x"),
                 (("GroupLine1=DEPT", "GroupParsing1==R", "GroupWriteColumn1=C"),
                  'Error in Table 1 : GroupParsing1 may not hold "="'),
                 (("GroupLine1=DEPT", "GroupWriteColumn1=C"),
                  "Error in Table 1 : GroupParsing1 is missing"),
                 (("GroupLine1=DEPT", "GroupParsing1=  --", "GroupWriteColumn1=12"),
                  "Error in Table 1 : GroupWriteColumn1 is not a column (A to ZZ): 12"),
                 (("GroupLine1=DEPT", "GroupParsing1=  --"),
                  "Error in Table 1 : GroupWriteColumn1 is missing")]
        for keys, message in cases:
            with self.subTest(keys=keys):
                code, err = self.vok("-i", report, "-r", self.write("bad.rcp", recipe(*keys)),
                                     "-o", out)
                self.assertEqual(code, 1)
                self.assertIn(message, err)
                with open(out, encoding="utf-8") as f:
                    self.assertEqual(f.read(), "earlier output\n")
        # A bad value in a later table: the tables before it are not written
        # either, for the output would pass for the whole conversion.
        two = recipe() + crlf("[Table 2]", "ReadStartLine=REPORT", "ReadStartLineOffset=1",
                              "ReadEndLine=END", "ReadEndLineOffset=-1", "Parsing=-----",
                              "WriteColumn=A", "PageHeaderLines=0")
        code, err = self.vok("-i", report, "-r", self.write("two.rcp", two), "-o", out)
        self.assertEqual(code, 1)
        self.assertEqual(err.count("PageHeaderLines must be"), 1)
        self.assertIn("Error in Table 2 : PageHeaderLines must be a whole number from 1 to 999: 0",
                      err)
        with open(out, encoding="utf-8") as f:
            self.assertEqual(f.read(), "earlier output\n")
        # The same refusal when the export-specs file says it.
        specs = crlf("[Header]", "Product=VOK", "FileType=EXPORT SPEC", "FileFormat=1.1",
                     "[General]", "Name=", "[Table 1]", "ReadStartLine=REPORT",
                     "ReadStartLineOffset=1", "ReadEndLine=END", "ReadEndLineOffset=-1",
                     "TotalColumns=1", "PageHeaderLines=1000",
                     "[Table 1 Col 1]", "ReadColumnStart=1", "ReadColumnEnd=5",
                     "WriteColumn=A", "PeriodOperator=")
        code, err = self.vok("-i", report, "-r", self.write("bad.t2x", specs), "-o", out)
        self.assertEqual(code, 1)
        self.assertIn("Error in Table 1 : PageHeaderLines must be a whole number from 1 to 999: "
                      "1000", err)


class PageBreaksSwitchSyntax(PageBreaks):
    SYNTAX = "switch"


if __name__ == "__main__":
    unittest.main()
