"""End-to-end conversions into workbooks: the real program writes .xlsx and
.xls files, and readers nobody here wrote (openpyxl, xlrd) check them. Every
test runs twice, once in each command-line syntax, with folder paths."""

import os
import shutil
import subprocess
import tempfile
import unittest

import openpyxl
import xlrd

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
VOK = os.path.join(BUILD, "vok")
EXAMPLES = os.path.join(SOURCE, "examples")


def crlf(*lines):
    return "".join(line + "\r\n" for line in lines)


class WorkbookConversion(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-wb-")
        self.home = os.path.join(self.dir, "home")
        os.mkdir(self.home)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, text):
        with open(self.path(name), "w", newline="") as f:
            f.write(text)
        return self.path(name)

    SYNTAX = "linux"
    SWITCHES = {"-i": "/I", "-o": "/O", "-r": "/R", "-c": "/C", "-s": "/S", "-g": "/G",
                "-l": "/L", "-w": "/W", "-t": "/T"}

    def vok(self, *args, cwd=None):
        """Runs vok with Linux-style arguments, or their switch-syntax spelling
        (backslashes between folders) in the switch-syntax run of the tests."""
        if self.SYNTAX == "switch":
            args = [self.SWITCHES.get(a, a.replace("/", "\\")) for a in args]
        done = subprocess.run([VOK, *args], env={**os.environ, "VOK_HOME": self.home},
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False,
                              cwd=cwd or self.dir)
        return done.returncode, done.stderr.decode()

    def marked(self, rows, template="---------- --------------------"):
        """A marked-up report of one table of the given rows."""
        return self.write("report.txt", crlf(">>1", template, *rows, "<<1"))

    def test_text_and_numbers_are_typed_alike_in_both_formats(self):
        report = self.marked(["Cash       1,234.50", "Rent       (12.00)", "Count      00123",
                              "Formula    =SUM(A1)", "Big        1234567890123456789"])
        code, err = self.vok("-i", report, "-o", self.path("out.xlsx"))
        self.assertEqual(code, 1, err)  # the "=" warning is a message
        self.assertIn("Error: Source Data field begin with Equal Sign!", err)
        sheet = openpyxl.load_workbook(self.path("out.xlsx")).worksheets[0]
        self.assertEqual(sheet["A1"].value, "Cash       ")
        self.assertEqual(sheet["B1"].value, 1234.5)
        self.assertEqual(sheet["B1"].number_format, "#,##0.00")
        self.assertEqual(sheet["B2"].value, -12)
        self.assertEqual(sheet["B3"].value, "00123 ")  # text as it stands
        self.assertEqual(sheet["B4"].data_type, "s")  # never a formula
        self.assertEqual(sheet["B5"].data_type, "s")  # more than 15 digits

        code, err = self.vok("-i", report, "-o", self.path("out.xls"))
        book = xlrd.open_workbook(self.path("out.xls"), formatting_info=True)
        sheet = book.sheet_by_index(0)
        self.assertEqual(book.sheet_names(), ["Sheet1", "Sheet2", "Sheet3"])
        self.assertEqual(sheet.cell_value(0, 1), 1234.5)
        self.assertEqual(sheet.cell_type(0, 1), xlrd.XL_CELL_NUMBER)
        self.assertEqual(sheet.cell_value(1, 1), -12)
        self.assertEqual(sheet.cell_value(2, 1), "00123 ")
        self.assertEqual(book.font_list[0].name, "Courier New")

    def test_titles_go_on_both_sheets_and_a_consolidation_adds_up(self):
        for name in ("gl.xlsx", "gl.xls"):
            code, err = self.vok("-i", os.path.join(EXAMPLES, "general-ledger.txt"), "-r",
                                 os.path.join(EXAMPLES, "general-ledger-by-department.t2x"),
                                 "-o", self.path(name))
            self.assertEqual((code, err), (0, ""), name)
            if name.endswith(".xlsx"):
                book = openpyxl.load_workbook(self.path(name))
                rows = [[list(r) for r in ws.iter_rows(values_only=True)]
                        for ws in book.worksheets[:2]]
                self.assertEqual(book._fonts[0].name, "Courier New")
            else:
                book = xlrd.open_workbook(self.path(name))
                rows = [[[v if v != "" else None for v in s.row_values(r)]
                         for r in range(s.nrows)] for s in book.sheets()[:2]]
            sheet1, sheet2 = rows
            self.assertEqual(sheet1[0][0], "BROOKFIELD HARDWARE CO. - GENERAL LEDGER BY DEPARTMENT")
            self.assertEqual(sheet2[0][0], "ALL DEPARTMENTS COMBINED")
            combined = {r[0].strip(): r[1:] for r in sheet2[2:]}
            self.assertEqual(len(combined), 7)
            self.assertAlmostEqual(combined["SALES - HARDWARE"][0], 38112.40 + 15230.00)
            self.assertAlmostEqual(combined["COST OF GOODS SOLD"][1],
                                   -301455.78 - 124876.10 - 42980.33)
            self.assertAlmostEqual(combined["UTILITIES"][0], 812.44)

    def test_reopening_keeps_or_clears_old_cells(self):
        for ext in ("xlsx", "xls"):
            out = self.path("keep." + ext)
            long_report = self.marked(["a          1", "b          2", "c          3"])
            self.assertEqual(self.vok("-i", long_report, "-o", out)[0], 0)
            short_report = self.marked(["z          9"])
            self.assertEqual(self.vok("-i", short_report, "-o", out, "-c")[0], 0)
            self.assertEqual(self.values(out), [["z          ", 9], ["b          ", 2],
                                                ["c          ", 3]], ext)
            self.assertEqual(self.vok("-i", short_report, "-o", out)[0], 0)
            self.assertEqual(self.values(out), [["z          ", 9]], ext)

    def values(self, path):
        if path.endswith(".xls"):
            sheet = xlrd.open_workbook(path).sheet_by_index(0)
            return [sheet.row_values(r) for r in range(sheet.nrows)]
        sheet = openpyxl.load_workbook(path).worksheets[0]
        return [list(r) for r in sheet.iter_rows(values_only=True)]

    def test_formula_on_a_third_sheet_survives(self):
        out = self.path("book.xlsx")
        book = openpyxl.Workbook()
        book.active.title = "Data"
        book.create_sheet("Other")
        calc = book.create_sheet("Calc")
        calc["A1"] = 2
        calc["A2"] = "=A1*21"
        book.save(out)
        self.assertEqual(self.vok("-i", self.marked(["x          5"]), "-o", out)[0], 0)
        book = openpyxl.load_workbook(out)
        self.assertEqual(book.sheetnames, ["Data", "Other", "Calc"])
        self.assertEqual(book["Calc"]["A2"].value, "=A1*21")
        self.assertEqual(book["Data"]["B1"].value, 5)

    def test_more_rows_than_an_xls_sheet_holds_fit_an_xlsx_and_fail_an_xls_that_keeps_its_earlier_bytes(self):
        rows = ["r%09d 1" % i for i in range(70000)]
        report = self.write("big.txt", crlf("TOP", *rows, "END"))
        recipe = self.write("big.rcp", crlf("[Table 1]", "ReadStartLine=TOP",
                                            "ReadStartLineOffset=1", "ReadEndLine=END",
                                            "ReadEndLineOffset=-1", "Parsing=---------- --",
                                            "WriteColumn=A"))
        code, err = self.vok("-i", report, "-r", recipe, "-o", self.path("big.xlsx"))
        self.assertEqual((code, err), (0, ""))
        sheet = openpyxl.load_workbook(self.path("big.xlsx"), read_only=True).worksheets[0]
        self.assertEqual(sheet.max_row, 70000)
        # Fault 3: a run cut short at the row limit saved the partial workbook
        # over the earlier one. The earlier workbook stays as it was.
        earlier = self.path("big.xls")
        code, err = self.vok("-i", self.marked(["x          5"]), "-o", earlier)
        self.assertEqual((code, err), (0, ""))
        with open(earlier, "rb") as f:
            before = f.read()
        code, err = self.vok("-i", report, "-r", recipe, "-o", earlier)
        self.assertEqual(code, 1)
        self.assertIn("Cannot write row 65537 of sheet 1", err)
        self.assertIn("did not complete; " + earlier + " was not written", err)
        with open(earlier, "rb") as f:
            self.assertEqual(f.read(), before)

    def test_a_file_that_is_no_workbook_is_left_untouched(self):
        out = self.write("notes.xlsx", "these are my notes, not a workbook\r\n")
        code, err = self.vok("-i", self.marked(["x          5"]), "-o", out)
        self.assertEqual(code, 1)
        self.assertIn(out, err)
        with open(out, newline="") as f:
            self.assertEqual(f.read(), "these are my notes, not a workbook\r\n")


    def test_workbook_goes_where_the_path_says_and_lock_files_count(self):
        # Fault: in the switch syntax an .xlsx output was written to a file
        # literally named "\tmp\d\out.xlsx" in the current folder, and the
        # lock-file check looked there too.
        current = os.path.join(self.dir, "current")
        os.mkdir(current)
        report = self.marked(["x          5"])
        code, err = self.vok("-i", report, "-o", self.path("out.xlsx"), cwd=current)
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(os.listdir(current), [])
        self.assertEqual(self.values(self.path("out.xlsx")), [["x          ", 5]])
        self.write(".~lock.out.xlsx#", "someone has it open")
        code, err = self.vok("-i", self.marked(["y          6"]), "-o", self.path("out.xlsx"),
                             cwd=current)
        self.assertEqual(code, 1)
        self.assertIn("Microsoft Excel is already open", err)
        self.assertEqual(self.values(self.path("out.xlsx")), [["x          ", 5]])

    def test_a_folder_name_never_decides_the_output_type(self):
        # Fault: "-o d/my.csv.d/out.xlsx" wrote CSV text into out.xlsx.
        os.mkdir(self.path("my.csv.d"))
        out = os.path.join(self.path("my.csv.d"), "out.xlsx")
        code, err = self.vok("-i", self.marked(["x          5"]), "-o", out)
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(self.values(out), [["x          ", 5]])


class WorkbookConversionSwitchSyntax(WorkbookConversion):
    SYNTAX = "switch"


if __name__ == "__main__":
    unittest.main()
