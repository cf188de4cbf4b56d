"""Workbook output that must stay what the engine wrote when its sheets were
built whole in memory: a generated report of text and typed numbers goes into
a new .xlsx workbook, then a second run writes into that workbook again
without clearing it (so the sheet is merged with what the file holds), and the
parts vok writes are compared, by SHA-256, with the figures recorded then.
The zip container itself carries dates, so the parts are compared, not the
file. An .xls of the same rows is compared as the cells xlrd reads.

The sheets' cells are also compared with those that engine wrote, kept in
tests/data/expected (the first rows verbatim, digests of the rest), so that a
failure names the first cell that differs. Record those files again
(scripts/record-expected-outputs.sh) only from a build whose parts still have
the digests below, or together with new digests when a change of output is
intended and said so in its commit: recording them to make a failing test
pass hides the fault the test is here to catch."""

import hashlib
import os
import unittest
import zipfile

import xlrd

from e2e_support import SOURCE, VokFolder
from expected_output import check_cells, xls_cells, xlsx_cells


WORDS = ["Widgets, blue", 'Bolts "M8"', "Caf\u00e9 cr\u00e8me", "  leading blanks", "=A1+1",
         "00123", "Nuts & washers", "<tag>"]


WIDTHS = [10, 20, 12, 8, 16, 14, 6, 12, 12, 4]


def report(rows):
    """Ten fields a row: text, dates, whole numbers, amounts with separators,
    negatives in parentheses, percentages, currency and blank fields."""
    lines = ["SALES DETAIL", "SKU        ITEM              DATE        QTY", "-" * 120]
    for i in range(1, rows + 1):
        word = WORDS[i % len(WORDS)] if i % 11 else ""
        amount = (i * 7919) % 9999999
        fields = [
            f"{i:08d}",
            f"{word:<18.18}",
            f"{1 + i % 12:02d}/{1 + i % 28:02d}/2026",
            f"{i % 1000:>6d}",
            f"{amount / 100:>14,.2f}",
            f"({amount % 50000 / 100:,.2f})" if i % 3 == 0 else f"{amount % 777:>12d}",
            f"{i % 100}%" if i % 5 else "",
            f"${amount % 12345 / 100:,.2f}",
            f"{i * 1.5e-3:.3e}" if i % 7 == 0 else f"{i % 9:>3d}.{i % 100:02d}",
            "x" * (i % 4),
        ]
        lines.append("".join(f"{f:<{w}.{w}}" for f, w in zip(fields, WIDTHS)))
    lines.append("END OF SALES")
    return "".join(line + "\r\n" for line in lines)


# Each field ends on the blank column before the next one.
TEMPLATE = "".join("-" * (w - 1) + " " for w in WIDTHS[:-1]) + "-" * WIDTHS[-1]


def recipe(first_column="A"):
    return ("[Header]\r\nProduct=VOK-B\r\nFileType=RECIPE\r\nFileFormat=1.0\r\n"
            "[Table 1]\r\nReadStartLine=-----\r\nReadStartLineOffset=1\r\n"
            "ReadEndLine=END OF SALES\r\nReadEndLineOffset=-1\r\n"
            f"Parsing={TEMPLATE}\r\nWriteColumn={first_column}\r\n")


def digest(data):
    return hashlib.sha256(data).hexdigest()


def expected(name):
    return os.path.join(SOURCE, "tests", "data", "expected", name)


# The first 200 rows' cells are kept verbatim.
KEPT_CELLS = 2000


class WorkbookChecksum(VokFolder, unittest.TestCase):
    def setUp(self):
        self.make_folder("vok-wbsum-")

    def tearDown(self):
        self.remove_folder()

    def write(self, name, text, encoding="utf-8"):
        with open(self.path(name), "w", newline="", encoding=encoding) as f:
            f.write(text)
        return self.path(name)

    def parts(self, book):
        with zipfile.ZipFile(book) as z:
            return {name: digest(z.read(name)) for name in
                    ("xl/worksheets/sheet1.xml", "xl/styles.xml")}

    def assert_cells_as_kept(self, cells, name):
        difference = check_cells(cells, expected(name), KEPT_CELLS)
        if difference:
            self.fail(difference)

    def test_new_workbook_then_a_second_table_merged_into_it(self):
        text = self.write("sales.txt", report(20000))
        first = self.write("first.rcp", recipe("A"))
        second = self.write("second.rcp", recipe("C"))
        book = self.path("sales.xlsx")
        code, err = self.vok("-i", text, "-r", first, "-o", book)
        # The "=A1+1" cells are said, and written as text all the same.
        self.assertIn("begin with Equal Sign", err)
        self.assert_cells_as_kept(xlsx_cells(book), "new-workbook.cells.gz")
        self.assertEqual(self.parts(book), {
            "xl/worksheets/sheet1.xml": "901e835e4e6490b1c9239a77ff3f347e2baddadf862ed526059c6768e41b2ffe",
            "xl/styles.xml": "e6ed6216d69d959edddd05068c3c9dcf7660448cefd034faba1e1f85ebc34b33",
        })
        code, err = self.vok("-i", text, "-r", second, "-o", book, "-c")
        self.assert_cells_as_kept(xlsx_cells(book), "merged-workbook.cells.gz")
        self.assertEqual(self.parts(book), {
            "xl/worksheets/sheet1.xml": "0edd04273797568e9944b19d02658fa8c11ad43c189817b2568b6ab01c58f20d",
            "xl/styles.xml": "e6ed6216d69d959edddd05068c3c9dcf7660448cefd034faba1e1f85ebc34b33",
        })

    def test_windows_1252_report_to_xls(self):
        text = self.write("sales.txt", report(3000), encoding="cp1252")
        rcp = self.write("sales.rcp", recipe("B"))
        book = self.path("sales.xls")
        self.vok("-i", text, "-r", rcp, "-o", book)
        sheet = xlrd.open_workbook(book).sheet_by_index(0)
        cells = "\n".join("\t".join(repr(sheet.cell_value(r, c)) for c in range(sheet.ncols))
                          for r in range(sheet.nrows))
        self.assert_cells_as_kept(xls_cells(sheet), "xls-workbook.cells.gz")
        self.assertEqual((sheet.nrows, sheet.ncols), (3000, 11))
        self.assertEqual(digest(cells.encode()),
                         "a75906358305cdb4c92915557c87e2254a924ffb4fab30b3afab2566d335796b")


if __name__ == "__main__":
    unittest.main()
