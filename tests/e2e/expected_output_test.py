"""The comparison the workbook checksum tests report through: a sheet changed
on purpose must be named by its first differing cell, whether that cell is
kept verbatim or only in the digests of its block."""

import os
import shutil
import tempfile
import unittest

from expected_output import cell_line, check_cells, record


def sheet(rows):
    """Cells A1:C{rows}: text, a number and a styled amount."""
    return [cell_line(f"{col}{r}", kind, value) for r in range(1, rows + 1)
            for col, kind, value in (("A", "inlineStr", f"{r:08d}  "), ("B", "n", str(r % 1000)),
                                     ("C", "n s1", f"{r * 7919 % 99999 / 100}"))]


class ExpectedCells(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-expected-")
        self.path = os.path.join(self.dir, "sheet.cells.gz")
        self.cells = sheet(1500)
        record(self.cells, self.path, 300)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def difference(self):
        return check_cells(self.cells, self.path, 300)

    def test_a_kept_cell_is_shown_as_expected_and_as_written_now(self):
        self.assertEqual(self.difference(), "")
        self.cells[50] = cell_line("C17", "inlineStr", "1,346.23")
        self.assertEqual(self.difference(), "cell C17 differs\n"
                                            "  expected: C17\\tn s1\\t346.24\\n\n"
                                            "  now:      C17\\tinlineStr\\t1,346.23\\n\n")
        del self.cells[50:]
        self.assertEqual(self.difference(), "the output ends before cell 51, expected: "
                                            "C17\\tn s1\\t346.24\\n\n")

    def test_a_changed_cell_past_the_kept_ones_is_located_in_its_block(self):
        self.cells[2344] = cell_line("B782", "n", "783")
        self.assertEqual(self.difference(),
                         "cell B782 differs (the only change from cell C667 to cell C1000; only "
                         "digests are kept past cell C100, and those cells were 1000 cells of "
                         "17928 bytes, now 1000 of 17928)\n"
                         "  now: B782\\tn\\t783\\n\n")

    def test_a_missing_or_added_cell_past_the_kept_ones_is_located_in_its_block(self):
        del self.cells[3100]
        difference = self.difference()
        self.assertIn("a cell is missing before cell C1034 (the only change from cell A1001 to "
                      "cell B1334;", difference)
        self.assertIn("(the output has 4499 cells; expected 4500)", difference)
        self.cells.insert(3100, cell_line("B1034", "n", "34"))
        self.cells.insert(3100, cell_line("B1034", "n", "34"))
        self.assertIn("cell B1034 was added (the only change from cell A1001", self.difference())


if __name__ == "__main__":
    unittest.main()
