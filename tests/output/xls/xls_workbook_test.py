"""Opens the .xls workbooks vok writes with an independent reader (xlrd) and
checks values, types, number formats, sheet names and the default font."""

import os
import subprocess
import sys
import tempfile
import unittest

try:
    import xlrd
except ImportError:
    # The Debian package installs for the system interpreter.
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../../build"))
TOOL = os.path.join(BUILD, "xls_tool")


def run(path, commands):
    """Runs xls_tool on the workbook with the commands (lists of fields)."""
    lines = "".join("\t".join(str(f) for f in c) + "\n" for c in commands)
    done = subprocess.run([TOOL, "run", path], input=lines.encode("utf-8"),
                          stdout=subprocess.PIPE, check=False)
    return done.returncode, done.stdout.decode("utf-8").splitlines()


def cell_format(book, cell):
    return book.format_map[book.xf_list[cell.xf_index].format_key].format_str


class XlsWorkbookTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.dir.name, "out.xls")

    def tearDown(self):
        self.dir.cleanup()

    def open(self):
        return xlrd.open_workbook(self.path, formatting_info=True)

    def test_a_table_of_text_and_numbers_keeps_its_sheet_names_and_font(self):
        table = [["Account", "Amount", "Count"],
                 ["Cash", "1,234.50", "12"],
                 ["Bank \u00e9\u00e8", "(99.00)", "-3"],
                 ["\u6f22\u5b57 \u0410\u0411", "$2,000", "1.5E+3"]]
        commands = [["set", 1, r + 1, c + 1, v]
                    for r, row in enumerate(table) for c, v in enumerate(row)]
        commands += [["name", 1, "Sales (P1-3)"], ["name", 2, "\u00dcbersicht"],
                     ["font", "Courier New"], ["save"]]
        code, out = run(self.path, commands)
        self.assertEqual(code, 0)
        self.assertEqual(out, ["ok", "ok", "saved"])

        book = self.open()
        self.assertEqual(book.sheet_names(), ["Sales (P1-3)", "\u00dcbersicht", "Sheet3"])
        self.assertEqual(book.font_list[0].name, "Courier New")
        self.assertEqual(book.font_list[0].height, 200)
        sheet = book.sheet_by_index(0)
        self.assertEqual((sheet.nrows, sheet.ncols), (4, 3))
        expected = [
            [(xlrd.XL_CELL_TEXT, "Account", None), (xlrd.XL_CELL_TEXT, "Amount", None),
             (xlrd.XL_CELL_TEXT, "Count", None)],
            [(xlrd.XL_CELL_TEXT, "Cash", None), (xlrd.XL_CELL_NUMBER, 1234.5, "#,##0.00"),
             (xlrd.XL_CELL_NUMBER, 12.0, "General")],
            [(xlrd.XL_CELL_TEXT, "Bank \u00e9\u00e8", None),
             (xlrd.XL_CELL_NUMBER, -99.0, "#,##0.00_);(#,##0.00)"),
             (xlrd.XL_CELL_NUMBER, -3.0, "General")],
            [(xlrd.XL_CELL_TEXT, "\u6f22\u5b57 \u0410\u0411", None),
             (xlrd.XL_CELL_NUMBER, 2000.0, "$#,##0"),
             (xlrd.XL_CELL_NUMBER, 1500.0, "0.0E+00")],
        ]
        for r, row in enumerate(expected):
            for c, (ctype, value, fmt) in enumerate(row):
                cell = sheet.cell(r, c)
                self.assertEqual((cell.ctype, cell.value), (ctype, value), (r, c))
                if fmt:
                    self.assertEqual(cell_format(book, cell), fmt, (r, c))
        self.assertEqual(book.sheet_by_index(1).nrows, 0)

    def test_typed_input_keeps_leading_zeros_formulas_and_long_digits_as_text(self):
        cases = [
            ("00123", xlrd.XL_CELL_TEXT, "00123"),
            ("=A1+B1", xlrd.XL_CELL_TEXT, "=A1+B1"),
            ("1234567890123456", xlrd.XL_CELL_TEXT, "1234567890123456"),
            ("  42  ", xlrd.XL_CELL_NUMBER, 42.0),
            ("12-", xlrd.XL_CELL_NUMBER, -12.0),
            ("0.1", xlrd.XL_CELL_NUMBER, 0.1),
            ("123456789.123", xlrd.XL_CELL_NUMBER, 123456789.123),
            ("  text with blanks ", xlrd.XL_CELL_TEXT, "  text with blanks "),
            ("", xlrd.XL_CELL_EMPTY, ""),
        ]
        code, out = run(self.path, [["set", 1, i + 1, 1, t] for i, (t, _, _) in enumerate(cases)]
                        + [["set", 1, len(cases) + 1, 2, "end"], ["save"]])
        self.assertEqual(out, ["saved"])
        sheet = self.open().sheet_by_index(0)
        for i, (text, ctype, value) in enumerate(cases):
            cell = sheet.cell(i, 0)
            self.assertEqual((cell.ctype, cell.value), (ctype, value), text)

    def test_many_unique_strings_span_several_continue_records(self):
        texts = ["row %d \u00e4\u00f6\u00fc" % i if i % 3 else "Zeile %d \u6f22" % i
                 for i in range(6000)]
        texts.append("x" * 9000)  # one long string split over a record boundary
        commands = [["set", 1, i + 1, 1 + i % 2, t] for i, t in enumerate(texts)]
        code, out = run(self.path, commands + [["save"]])
        self.assertEqual(out, ["saved"])
        sheet = self.open().sheet_by_index(0)
        for i, t in enumerate(texts):
            self.assertEqual(sheet.cell_value(i, i % 2), t, i)
        # vok reads them back too.
        code, out = run(self.path, [["get", 1, i + 1, 1 + i % 2] for i in (0, 1, 5999, 6000)])
        self.assertEqual(out, [texts[0], texts[1], texts[5999], texts[6000]])

    def test_reopen_and_write_again_keeps_old_values(self):
        run(self.path, [["set", 1, 1, 1, "first"], ["set", 1, 1, 2, "1,000.25"],
                        ["name", 2, "Second"], ["font", "Courier New"], ["save"]])
        code, out = run(self.path, [["sheets"], ["get", 1, 1, 2], ["set", 1, 2, 1, "second"],
                                    ["set", 2, 1, 1, "7"], ["save"]])
        self.assertEqual(out, ["Sheet1\tSecond\tSheet3", "1000.25", "saved"])
        book = self.open()
        self.assertEqual(book.font_list[0].name, "Courier New")
        sheet = book.sheet_by_index(0)
        self.assertEqual(sheet.cell_value(0, 0), "first")
        self.assertEqual(sheet.cell_value(0, 1), 1000.25)
        self.assertEqual(cell_format(book, sheet.cell(0, 1)), "#,##0.00")
        self.assertEqual(sheet.cell_value(1, 0), "second")
        self.assertEqual(book.sheet_by_name("Second").cell_value(0, 0), 7.0)

    def test_65536_rows_fit_and_row_65537_is_refused(self):
        commands = [["set", 1, r, 1, str(r)] for r in range(1, 65537)]
        commands += [["set", 1, 65537, 1, "too far"], ["set", 1, 1, 257, "too wide"],
                     ["set", 1, 1, 256, "IV"], ["used", 1], ["save"]]
        code, out = run(self.path, commands)
        self.assertEqual(out, ["BeyondLastRow", "BeyondLastColumn", "1 1 65536 256", "saved"])
        sheet = self.open().sheet_by_index(0)
        self.assertEqual((sheet.nrows, sheet.ncols), (65536, 256))
        self.assertEqual(sheet.cell_value(65535, 0), 65536.0)
        self.assertEqual(sheet.cell_value(0, 255), "IV")

    def test_workbook_with_a_formula_is_refused_and_left_byte_identical(self):
        subprocess.run([TOOL, "formula", self.path], check=True)
        # The file really holds a formula, as an independent reader sees it.
        self.assertEqual(xlrd.open_workbook(self.path).sheet_by_index(2).row_values(0),
                         [1.0, 2.0, 3.0])
        with open(self.path, "rb") as f:
            before = f.read()
        code, out = run(self.path, [["set", 1, 1, 1, "x"], ["save"]])
        self.assertEqual(code, 2)
        self.assertEqual(len(out), 1)
        self.assertIn("holds formulas", out[0])
        self.assertIn(self.path, out[0])
        with open(self.path, "rb") as f:
            self.assertEqual(f.read(), before)

    def test_file_that_is_no_workbook_is_refused_and_kept(self):
        with open(self.path, "wb") as f:
            f.write(b"Name,Amount\nCash,12\n")
        code, out = run(self.path, [["save"]])
        self.assertEqual(code, 2)
        self.assertIn("not an Excel 97-2003 workbook", out[0])
        with open(self.path, "rb") as f:
            self.assertEqual(f.read(), b"Name,Amount\nCash,12\n")


if __name__ == "__main__":
    unittest.main()
