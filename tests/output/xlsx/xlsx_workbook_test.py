"""Opens the .xlsx workbooks vok writes with an independent reader (openpyxl)
and checks values, types, number formats, sheet names and the default font,
and that what vok does not write in an existing workbook survives."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

try:
    import openpyxl
except ImportError:
    # The Debian package installs for the system interpreter.
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../../build"))
TOOL = os.path.join(BUILD, "xlsx_tool")


def vok(path, *commands, user=None):
    """Runs xlsx_tool on the workbook; returns (exit status, output lines)."""
    args = [TOOL, path] + [str(c) for c in commands]
    if user is not None:
        args = ["setpriv", "--reuid=" + user, "--regid=nogroup", "--clear-groups"] + args
    done = subprocess.run(args, stdout=subprocess.PIPE, check=False)
    return done.returncode, done.stdout.decode("utf-8").splitlines()


def part(path, name):
    with zipfile.ZipFile(path) as z:
        return z.read(name)


def parts(path):
    with zipfile.ZipFile(path) as z:
        return {n: z.read(n) for n in z.namelist()}


class XlsxWorkbookTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.dir.name, "out.xlsx")

    def tearDown(self):
        self.dir.cleanup()

    def test_a_table_of_text_and_numbers_keeps_its_sheet_names_and_font(self):
        status, out = vok(self.path, "font", "Courier New", "table", 1, 50, 4,
                          "name", 1, "Ledger", "name", 2, "bad:name", "save")
        self.assertEqual(status, 0, out)
        self.assertEqual(out[0], "ok")
        self.assertTrue(out[1].startswith("refused\t"), out)
        book = openpyxl.load_workbook(self.path)
        self.assertEqual(book.sheetnames, ["Ledger", "Sheet2", "Sheet3"])
        sheet = book["Ledger"]
        self.assertEqual(sheet.max_row, 50)
        self.assertEqual(sheet.max_column, 4)
        self.assertEqual(sheet["A7"].value, "Item 7")
        self.assertEqual(sheet["A7"].data_type, "s")
        self.assertEqual(sheet["C7"].value, 703.35)
        self.assertEqual(sheet["C7"].data_type, "n")
        self.assertEqual(sheet["C7"].number_format, "0.00")
        for cell in ("A1", "B50", "D3"):
            self.assertEqual(sheet[cell].font.name, "Courier New", cell)
        # The default style's font, which empty cells and new formats use too.
        styles = part(self.path, "xl/styles.xml").decode()
        fonts = styles[styles.index("<fonts"):]
        first_font = fonts[:fonts.index("</font>")]
        self.assertIn('<name val="Courier New"/>', first_font)

    def test_typed_input_gives_numbers_their_formats_and_keeps_other_text(self):
        cases = [
            ("1,234.50", 1234.5, "#,##0.00"),
            ("1200", 1200, "General"),
            ("12-", -12, "General"),
            ("(12.00)", -12, "#,##0.00_);(#,##0.00)"),
            ("$1,234", 1234, "$#,##0"),
            ("12.5", 12.5, "0.0"),
            ("1.5E+3", 1500, "0.0E+00"),
            ("00123", "00123", "General"),
            ("=A1+B1", "=A1+B1", "General"),
            ("1234567890123456", "1234567890123456", "General"),
            ("  padded  ", "  padded  ", "General"),
            ("Text & <more>", "Text & <more>", "General"),
        ]
        commands = []
        for row, (text, _, _) in enumerate(cases, start=1):
            commands += ["set", 1, row, 2, text]
        commands += ["set", 1, 1, 3, "x", "set", 1, 1, 3, ""]  # an empty text empties
        status, out = vok(self.path, *commands, "save")
        self.assertEqual((status, out), (0, ["saved"]))
        sheet = openpyxl.load_workbook(self.path).worksheets[0]
        for row, (text, value, number_format) in enumerate(cases, start=1):
            cell = sheet.cell(row=row, column=2)
            self.assertEqual(cell.value, value, text)
            self.assertEqual(type(cell.value), type(value), text)
            self.assertEqual(cell.number_format, number_format, text)
        self.assertIsNone(sheet["C1"].value)
        # vok reads its own cells back as text, numbers as plain numbers.
        status, out = vok(self.path, "get", 1, 1, 2, "get", 1, 4, 2, "get", 1, 9, 2)
        self.assertEqual(out, ["1234.5", "-12", "=A1+B1"])

    def test_reopening_writes_over_old_cells_or_clears_them(self):
        self.assertEqual(vok(self.path, "table", 1, 30, 5, "save")[0], 0)
        # Without clearing: the new rows replace the first ones, the rest stays.
        self.assertEqual(vok(self.path, "table", 1, 10, 2, "save")[0], 0)
        sheet = openpyxl.load_workbook(self.path).worksheets[0]
        self.assertEqual((sheet.max_row, sheet.max_column), (30, 5))
        self.assertEqual(sheet["B5"].value, 502.25)
        self.assertEqual(sheet["C5"].value, 503.35)
        self.assertEqual(sheet["A30"].value, "Item 30")
        # With clearing: only the new ones are left.
        self.assertEqual(vok(self.path, "clear", 1, "table", 1, 3, 2, "save")[0], 0)
        sheet = openpyxl.load_workbook(self.path).worksheets[0]
        self.assertEqual((sheet.max_row, sheet.max_column), (3, 2))
        self.assertIsNone(sheet["C2"].value)
        self.assertEqual(sheet["A3"].value, "Item 3")

    def test_formulas_on_another_sheet_survive(self):
        book = openpyxl.Workbook()
        book.active.title = "Data"
        book.active["A1"] = "old"
        book.active["D20"] = 99
        book.create_sheet("Notes")["B2"] = "note"
        calc = book.create_sheet("Calc")
        calc["A1"], calc["B1"], calc["C1"] = 1, 2, "=A1+B1"
        calc["A3"] = "=SUM(Data!A1:D20)"
        book.save(self.path)
        before = parts(self.path)

        status, out = vok(self.path, "set", 1, 1, 1, "new", "set", 1, 2, 2, "3.25",
                          "set", 3, 5, 5, "written", "save")
        self.assertEqual((status, out), (0, ["saved"]))
        after = parts(self.path)
        self.assertEqual(set(before), set(after))
        # The sheet vok did not write keeps every byte.
        self.assertEqual(before["xl/worksheets/sheet2.xml"], after["xl/worksheets/sheet2.xml"])
        book = openpyxl.load_workbook(self.path)
        calc = book["Calc"]
        self.assertEqual(calc["C1"].value, "=A1+B1")
        self.assertEqual(calc["A3"].value, "=SUM(Data!A1:D20)")
        self.assertEqual(calc["E5"].value, "written")
        data = book["Data"]
        self.assertEqual(data["A1"].value, "new")
        self.assertEqual(data["B2"].value, 3.25)
        self.assertEqual(data["D20"].value, 99)

    def test_renaming_a_sheet_carries_its_formulas_along(self):
        book = openpyxl.Workbook()
        book.active.title = "Data"
        book.active["A1"] = 5
        calc = book.create_sheet("Calc")
        calc["A1"] = "=Data!A1*2"
        calc["A2"] = '="Data!A1"&Data!A1'
        book.create_sheet("Untouched")["A1"] = "=1+1"
        book.save(self.path)
        untouched = part(self.path, "xl/worksheets/sheet3.xml")
        status, out = vok(self.path, "name", 1, "Sales (P1-3)", "save")
        self.assertEqual((status, out), (0, ["ok", "saved"]))
        book = openpyxl.load_workbook(self.path)
        self.assertEqual(book.sheetnames, ["Sales (P1-3)", "Calc", "Untouched"])
        self.assertEqual(book["Calc"]["A1"].value, "='Sales (P1-3)'!A1*2")
        self.assertEqual(book["Calc"]["A2"].value, '="Data!A1"&\'Sales (P1-3)\'!A1')
        self.assertEqual(part(self.path, "xl/worksheets/sheet3.xml"), untouched)

    def test_more_than_65536_rows_are_saved_and_read_back(self):
        status, out = vok(self.path, "table", 1, 70000, 3, "save")
        self.assertEqual((status, out), (0, ["saved"]))
        sheet = openpyxl.load_workbook(self.path, read_only=True).worksheets[0]
        rows = list(sheet.iter_rows(min_row=69999, max_row=70000, values_only=True))
        self.assertEqual(rows, [("Item 69999", 6999902.25, 6999903.35),
                                ("Item 70000", 7000002.25, 7000003.35)])

    def test_a_file_that_is_no_workbook_is_left_untouched(self):
        book = openpyxl.Workbook()
        book.active["A1"] = "data"
        book.save(self.path)
        with open(self.path, "rb") as f:
            whole = f.read()
        for content in (b"plain text, not a workbook\n", whole[:len(whole) // 2]):
            with open(self.path, "wb") as f:
                f.write(content)
            status, out = vok(self.path, "set", 1, 1, 1, "x", "save")
            self.assertEqual(status, 2)
            self.assertTrue(out[0].startswith("error\t"), out)
            self.assertIn(self.path, out[0])
            with open(self.path, "rb") as f:
                self.assertEqual(f.read(), content)

    def saving_fails_cleanly(self, folder_mode, file_mode):
        """Saves into a folder and over a file with the given permissions, as
        an ordinary user, expecting a clean failure that leaves the file."""
        folder = os.path.join(self.dir.name, "locked")
        os.mkdir(folder)
        path = os.path.join(folder, "out.xlsx")
        self.assertEqual(vok(path, "set", 1, 1, 1, "first", "save")[0], 0)
        with open(path, "rb") as f:
            saved = f.read()
        os.chmod(path, file_mode)
        os.chmod(folder, folder_mode)
        try:
            user = None
            if os.geteuid() == 0:
                # The superuser writes anywhere: save as an ordinary user.
                if shutil.which("setpriv") is None:
                    self.skipTest("no setpriv to drop the superuser's rights")
                os.chmod(self.dir.name, 0o755)
                user = "nobody"
            status, out = vok(path, "set", 1, 1, 1, "second", "save", user=user)
            self.assertEqual(status, 3, out)
            self.assertTrue(out[-1].startswith("failed\t"), out)
            self.assertIn(path, out[-1])
            with open(path, "rb") as f:
                self.assertEqual(f.read(), saved)
            self.assertEqual(os.listdir(folder), ["out.xlsx"])
        finally:
            os.chmod(folder, 0o755)

    def test_saving_into_a_read_only_folder_fails_cleanly(self):
        self.saving_fails_cleanly(0o555, 0o666)

    def test_a_read_only_workbook_is_not_replaced(self):
        self.saving_fails_cleanly(0o777, 0o444)


if __name__ == "__main__":
    unittest.main()
