"""Existing .xlsx and .xlsm workbooks that other programs wrote, converted
into by the real program: parts stored in UTF-16, shared formulas whose first
cell vok replaces, array formulas it would cut in two, macro-enabled
workbooks, and names vok cannot honour. Each test compares the packages part
by part before and after, and reads the result with openpyxl (and with
LibreOffice where it is installed). Every test runs in both command-line
syntaxes."""

import io
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import zipfile

import openpyxl

from e2e_support import REPORT, VokFolder, recipe

SOFFICE = shutil.which("soffice")
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"

# Writes the report's four rows (the last one blank) into columns C to E.
RECIPE = recipe().replace("WriteColumn=A", "WriteColumn=C")


def parts(path):
    with zipfile.ZipFile(path) as z:
        return {n: z.read(n) for n in z.namelist()}


def raw_parts_of(data):
    """Every part's stored (compressed) bytes and checksum, from a package's bytes."""
    out = {}
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        for info in z.infolist():
            head = data[info.header_offset:info.header_offset + 30]
            start = info.header_offset + 30 + int.from_bytes(head[26:28], "little") + \
                int.from_bytes(head[28:30], "little")
            out[info.filename] = (info.CRC, data[start:start + info.compress_size])
    return out


def raw_parts(path):
    with open(path, "rb") as f:
        return raw_parts_of(f.read())


def rewrite(source, target, change):
    """Copies a package, each part through change(name, bytes) (None drops it)."""
    with zipfile.ZipFile(source) as zin, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            data = change(item.filename, zin.read(item.filename))
            if data is not None:
                zout.writestr(item, data)


def with_part(source, target, sheet, rel_id, rel_type, part, content, content_type=None):
    """Copies a package with sheet 1 replaced and one more part of the
    workbook's, with its content type when one is given."""
    def change(name, data):
        if name == "xl/worksheets/sheet1.xml":
            return sheet
        if name == "xl/_rels/workbook.xml.rels":
            return data.replace(b"</Relationships>", (
                '<Relationship Id="%s" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
                'relationships/%s" Target="%s"/></Relationships>' % (rel_id, rel_type, part[3:])
            ).encode())
        if name == "[Content_Types].xml" and content_type:
            return data.replace(b"</Types>", ('<Override PartName="/%s" ContentType="%s"/></Types>'
                                              % (part, content_type)).encode())
        return data
    rewrite(source, target, change)
    with zipfile.ZipFile(target, "a") as z:
        z.writestr(part, content)


def utf16(xml, codec="utf-16"):
    """A part as a writer that stores UTF-16 does: declaration and mark."""
    text = re.sub(r"^<\?xml[^?]*\?>\s*", "", xml.decode("utf-8"))
    return ('<?xml version="1.0" encoding="UTF-16" standalone="yes"?>\n' + text).encode(codec)


def sheet_part(rows):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet xmlns="%s">'
            '<dimension ref="A1"/><sheetData>%s</sheetData></worksheet>' % (MAIN, rows)).encode()


class ExistingXlsx(VokFolder, unittest.TestCase):
    SYNTAX = "linux"
    SWITCHES = {"-i": "/I", "-o": "/O", "-r": "/R", "-c": "/C", "-w": "/W"}

    def setUp(self):
        self.make_folder("vok-xlsx-")
        self.report = self.write("report.txt", REPORT)
        self.recipe = self.write("columns.rcp", RECIPE)

    def tearDown(self):
        self.remove_folder()

    def convert(self, out):
        return self.vok("-i", self.report, "-r", self.recipe, "-o", out, "-c")

    def libreoffice_rows(self, path, sheet):
        """The sheet's rows as LibreOffice reads them, or None without it."""
        if not SOFFICE:
            return None
        folder = tempfile.mkdtemp(dir=self.dir)
        subprocess.run([SOFFICE, "--headless", "-env:UserInstallation=file://" + folder + "/p",
                        "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,"
                        "true,false,false,false,-1", "--outdir", folder, path],
                       capture_output=True, check=False, timeout=300)
        name = os.path.splitext(os.path.basename(path))[0] + "-" + sheet + ".csv"
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            return [line.rstrip("\n").split(",") for line in f]

    def test_parts_stored_in_utf16_are_written_back_in_utf16(self):
        # Fault: a sheet stored as UTF-16 was written back with UTF-8 bytes in
        # it ("unclosed token"; LibreOffice showed an empty sheet).
        book = openpyxl.Workbook()
        data = book.active
        data.title = "Data"
        for r in range(1, 8):
            data.cell(r, 1, r)
            data.cell(r, 6, "=A%d*2" % r)
        data["A9"] = "Grüße €"
        book.create_sheet("Other")["A1"] = "=Data!A2"
        book.save(self.path("made.xlsx"))
        out = self.path("utf16.xlsx")
        rewrite(self.path("made.xlsx"), out, lambda name, data:
                utf16(data) if name == "xl/worksheets/sheet1.xml" else
                utf16(data, "utf-16-be") if name == "xl/sharedStrings.xml" else data)
        before = parts(out)
        code, err = self.convert(out)
        self.assertEqual((code, err), (0, ""))
        after = parts(out)
        # The sheet is still UTF-16 with its mark; only vok's cells changed.
        sheet = after["xl/worksheets/sheet1.xml"]
        self.assertEqual(sheet[:2], b"\xff\xfe")
        self.assertIn('encoding="UTF-16"', sheet.decode("utf-16"))
        for name in before:
            if name not in ("xl/worksheets/sheet1.xml", "xl/workbook.xml", "xl/styles.xml"):
                self.assertEqual(after[name], before[name], name)
        result = openpyxl.load_workbook(out)["Data"]
        self.assertEqual([c.value for c in result[1]],
                         [1, None, "1000-00    ", "Cash in bank        ", 1234.5, "=A1*2"])
        self.assertEqual(result["E2"].value, -12)
        self.assertEqual([result.cell(r, 6).value for r in range(5, 8)],
                         ["=A5*2", "=A6*2", "=A7*2"])
        self.assertEqual(result["A9"].value, "Grüße €")
        rows = self.libreoffice_rows(out, "Data")
        if rows is not None:
            self.assertEqual(rows[0], ["1", "", "1000-00    ", "Cash in bank        ", "1234.5",
                                       "2"])
            self.assertEqual(rows[6][5], "14")

    def shared_formula_book(self, name):
        """A package with one shared formula in F1:F8 (first cell F1), a
        calculation chain, and a second sheet, as zipfile writes it."""
        book = openpyxl.Workbook()
        book.active.title = "Data"
        book.create_sheet("Other")["A1"] = "kept"
        book.save(self.path("made.xlsx"))
        rows = "".join(
            '<row r="%d"><c r="A%d"><v>%d</v></c><c r="F%d">%s<v>%d</v></c></row>' % (
                r, r, r, r, '<f t="shared" ref="F1:F8" si="0">A1*2+$A$1+SUM(A$1:A1)</f>' if r == 1
                else '<f t="shared" si="0"/>', r * 3) for r in range(1, 9))
        chain = ('<calcChain xmlns="%s">' % MAIN + "".join(
            '<c r="F%d" i="1"/>' % r for r in range(1, 9)) + "</calcChain>").encode()
        with_part(self.path("made.xlsx"), self.path(name), sheet_part(rows), "rId99", "calcChain",
                  "xl/calcChain.xml", chain, "application/vnd.openxmlformats-officedocument."
                  "spreadsheetml.calcChain+xml")
        return self.path(name)

    def test_replacing_the_first_cell_of_a_shared_formula_keeps_the_others(self):
        # Fault: with -c, writing over the first cell of a shared formula
        # turned every other formula of the group into a constant.
        out = self.shared_formula_book("shared.xlsx")
        self.recipe = self.write("columns.rcp", RECIPE.replace("WriteColumn=C", "WriteColumn=D"))
        before = parts(out)
        code, err = self.convert(out)
        self.assertEqual((code, err), (0, ""))
        after = parts(out)
        sheet = openpyxl.load_workbook(out)["Data"]
        self.assertEqual(sheet["F1"].value, 1234.5)
        self.assertEqual(sheet["F4"].value, None)  # the report's blank line
        self.assertEqual([sheet.cell(r, 6).value for r in range(5, 9)],
                         ["=A%d*2+$A$1+SUM(A$1:A%d)" % (r, r) for r in range(5, 9)])
        # The stale calculation chain goes with its entries; the rest is as it was.
        self.assertNotIn("xl/calcChain.xml", after)
        self.assertNotIn(b"calcChain", after["xl/_rels/workbook.xml.rels"])
        self.assertNotIn(b"calcChain", after["[Content_Types].xml"])
        self.assertIn(b'fullCalcOnLoad="1"', after["xl/workbook.xml"])
        changed = {"xl/worksheets/sheet1.xml", "xl/workbook.xml", "xl/styles.xml", "xl/calcChain.xml",
                   "xl/_rels/workbook.xml.rels", "[Content_Types].xml"}
        for name in set(before) - changed:
            self.assertEqual(after[name], before[name], name)
        rows = self.libreoffice_rows(out, "Data")
        if rows is not None:
            # It reads the package; the formulas show their cached results.
            self.assertEqual([row[5] for row in rows[:8]],
                             ["1234.5", "-12", "9000", "", "15", "18", "21", "24"])

    def test_entries_nested_in_the_package_lists_are_left_as_they_stand(self):
        # Fault: a calculation chain's relationship and content type nested in
        # another entry were taken for entries of their own; dropping them cut
        # the lists between the outer entry's tags and the workbook no longer
        # opened.
        made = self.shared_formula_book("flat.xlsx")
        out = self.path("nested.xlsx")

        def nest(data, entry, outer, closing):
            chain = re.search(entry, data).group(0)
            data = data.replace(chain, b"")
            host = re.search(outer, data).group(0)
            return data.replace(host, host[:-2] + b">" + chain + closing)

        def change(name, data):
            if name == "xl/_rels/workbook.xml.rels":
                return nest(data, rb"<Relationship [^>]*calcChain[^>]*/>",
                            rb"<Relationship [^>]*styles[^>]*/>", b"</Relationship>")
            if name == "[Content_Types].xml":
                return nest(data, rb'<Override PartName="/xl/calcChain.xml"[^>]*/>',
                            rb'<Override PartName="/xl/styles.xml"[^>]*/>', b"</Override>")
            return data
        rewrite(made, out, change)
        self.recipe = self.write("columns.rcp", RECIPE.replace("WriteColumn=C", "WriteColumn=D"))
        before = parts(out)
        self.assertRegex(before["xl/_rels/workbook.xml.rels"], rb"calcChain[^<]*/></Relationship>")
        self.assertRegex(before["[Content_Types].xml"], rb"calcChain[^<]*/></Override>")
        code, err = self.convert(out)
        self.assertEqual((code, err), (0, ""))
        after = parts(out)
        for name in ("xl/_rels/workbook.xml.rels", "[Content_Types].xml"):
            self.assertEqual(after[name], before[name], name)
        sheet = openpyxl.load_workbook(out)["Data"]
        self.assertEqual(sheet["F1"].value, 1234.5)
        self.assertEqual([sheet.cell(r, 6).value for r in range(5, 9)],
                         ["=A%d*2+$A$1+SUM(A$1:A%d)" % (r, r) for r in range(5, 9)])

    def test_a_sheet_added_to_a_workbook_openpyxl_wrote_opens(self):
        # Faults: openpyxl declares the relationships' namespace on each
        # <sheet>; the sheet vok added spelled "r:id" outside that
        # declaration. And a comment after the root of the relationships
        # took in the new sheet's entry. Either way the workbook no longer
        # opened, and vok said nothing.
        book = openpyxl.Workbook()
        book.active.title = "Data"
        book.active["A1"] = "kept"
        book.save(self.path("made.xlsx"))
        with_comments = self.path("comments.xlsx")
        rewrite(self.path("made.xlsx"), with_comments, lambda name, data: data + (
            b"<!-- </Relationships> -->" if name == "xl/_rels/workbook.xml.rels" else
            b"<?note </Types>?>" if name == "[Content_Types].xml" else b""))
        for out in (self.path("made.xlsx"), with_comments):
            before = parts(out)
            code, err = self.vok("-i", self.report, "-r", self.recipe, "-o", out, "-w", "2")
            self.assertEqual((code, err), (0, ""))
            book = openpyxl.load_workbook(out)
            self.assertEqual(book.sheetnames, ["Data", "Sheet2"])
            self.assertEqual(book["Data"]["A1"].value, "kept")
            self.assertEqual([[c.value for c in row] for row in book["Sheet2"]["C1:E2"]],
                             [["1000-00    ", "Cash in bank        ", 1234.5],
                              ["2000-00    ", "Payables            ", -12]])
            after = parts(out)
            self.assertEqual(after["xl/worksheets/sheet1.xml"], before["xl/worksheets/sheet1.xml"])
        self.assertTrue(after["xl/_rels/workbook.xml.rels"].endswith(
            b"</Relationships><!-- </Relationships> -->"))
        self.assertTrue(after["[Content_Types].xml"].endswith(b"</Types><?note </Types>?>"))

    def test_an_empty_sheet_that_declares_its_own_prefix_gets_rows_in_its_scope(self):
        # Fault: the empty <x:sheetData/> opened for the rows lost the
        # namespace it declared, and the dimension took its prefix outside
        # that declaration: the workbook no longer opened, and vok said
        # nothing.
        book = openpyxl.Workbook()
        book.active.title = "Data"
        book.save(self.path("made.xlsx"))
        sheet = ('<?xml version="1.0" encoding="UTF-8"?>\n<worksheet xmlns="%s"><dimension '
                 'ref="A1"/><x:sheetData xmlns:x="%s"/></worksheet>' % (MAIN, MAIN)).encode()
        out = self.path("declared.xlsx")
        rewrite(self.path("made.xlsx"), out,
                lambda name, data: sheet if name == "xl/worksheets/sheet1.xml" else data)
        self.assertEqual(self.convert(out), (0, ""))
        self.assertEqual([[c.value for c in row] for row in
                          openpyxl.load_workbook(out)["Data"]["C1:E2"]],
                         [["1000-00    ", "Cash in bank        ", 1234.5],
                          ["2000-00    ", "Payables            ", -12]])

    def test_an_array_formula_written_in_part_is_refused(self):
        # vok would write C1:C4 into an array formula over C3:C6: the group
        # would be cut in two. The workbook is left as it was.
        book = openpyxl.Workbook()
        book.active.title = "Data"
        book.save(self.path("made.xlsx"))
        rows = "".join('<row r="%d"><c r="A%d"><v>%d</v></c>%s</row>' % (
            r, r, r, '<c r="C3"><f t="array" ref="C3:C6">A3:A6*2</f><v>6</v></c>' if r == 3
            else '<c r="C%d"><v>%d</v></c>' % (r, r * 2) if r > 3 else "") for r in range(1, 7))
        out = self.path("array.xlsx")
        rewrite(self.path("made.xlsx"), out, lambda name, data:
                sheet_part(rows) if name == "xl/worksheets/sheet1.xml" else data)
        before = self.read("array.xlsx")
        code, err = self.convert(out)
        self.assertEqual(code, 1)
        self.assertIn("Cannot save the workbook " + out + ': its sheet "Data" has an array '
                      "formula in C3:C6, and vok would replace only some of its cells.", err)
        self.assertEqual(self.read("array.xlsx"), before)
        self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".~")], [])

    def test_a_new_macro_enabled_workbook_gets_its_own_content_type(self):
        # Fault: a new .xlsm had the plain workbook's content type, which
        # spreadsheet programs refuse for that extension.
        new = self.path("new.xlsm")
        code, err = self.convert(new)
        self.assertEqual((code, err), (0, ""))
        types = parts(new)["[Content_Types].xml"].decode()
        self.assertIn('PartName="/xl/workbook.xml" ContentType="application/vnd.ms-excel.sheet.'
                      'macroEnabled.main+xml"', types)
        self.assertEqual(openpyxl.load_workbook(new, keep_vba=True).active["E1"].value, 1234.5)
        rows = self.libreoffice_rows(new, "Sheet1")
        if rows is not None:
            self.assertEqual(rows[0][2:], ["1000-00    ", "Cash in bank        ", "1234.5"])
        # An existing one keeps its content types and its macro project.
        book = openpyxl.Workbook()
        book.save(self.path("made.xlsx"))
        project = bytes(range(256)) * 8
        old = self.path("old.xlsm")

        def macro_enabled(name, data):
            if name == "[Content_Types].xml":
                return data.replace(
                    b"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
                    b"application/vnd.ms-excel.sheet.macroEnabled.main+xml").replace(
                    b"</Types>", b'<Default Extension="bin" ContentType="application/vnd.ms-'
                    b'office.vbaProject"/></Types>')
            if name == "xl/_rels/workbook.xml.rels":
                return data.replace(b"</Relationships>", b'<Relationship Id="rIdV" Type="http://'
                                    b'schemas.microsoft.com/office/2006/relationships/vbaProject" '
                                    b'Target="vbaProject.bin"/></Relationships>')
            return data
        rewrite(self.path("made.xlsx"), old, macro_enabled)
        with zipfile.ZipFile(old, "a") as z:
            z.writestr("xl/vbaProject.bin", project)
        before = parts(old)
        self.assertIn(b"macroEnabled", before["[Content_Types].xml"])
        code, err = self.convert(old)
        self.assertEqual((code, err), (0, ""))
        after = parts(old)
        for name in before:
            if name not in ("xl/worksheets/sheet1.xml", "xl/styles.xml"):
                self.assertEqual(after[name], before[name], name)
        self.assertEqual(after["xl/vbaProject.bin"], project)

    def test_a_binary_workbook_name_is_refused(self):
        for name in ("out.xlsb", "OUT.XLSB"):
            code, err = self.convert(self.path(name))
            self.assertEqual(code, 1)
            self.assertEqual(err, "vok cannot write binary workbooks (.xlsb): " + self.path(name) +
                             ". Name the output .xlsx, .xlsm or .xls.\n")
        self.assertEqual(sorted(os.listdir(self.dir)), ["columns.rcp", "home", "report.txt"])


    def large_book(self, name, tail=""):
        """A workbook whose first sheet is too large to be read at opening
        (about 2 MB of XML, 25,000 rows, some of them shared strings) and a
        small second one; `tail` ends the first sheet's rows (it may damage it)."""
        book = openpyxl.Workbook()
        book.active.title = "Data"
        book.create_sheet("Other")["A1"] = "old"
        book.save(self.path("made.xlsx"))
        rows = "".join('<row r="%d"><c r="A%d"><v>%d</v></c><c r="B%d" t="s"><v>%d</v></c>'
                       '<c r="C%d" t="inlineStr"><is><t>line %d of the large sheet</t></is></c>'
                       '</row>' % (r, r, r, r, r % 3, r, r) for r in range(1, 25001))
        strings = ('<sst xmlns="%s" count="3" uniqueCount="3"><si><t>zero</t></si><si><t>one'
                   '</t></si><si><t>two</t></si></sst>' % MAIN).encode()

        with_part(self.path("made.xlsx"), self.path(name), sheet_part(rows + tail), "rId98",
                  "sharedStrings", "xl/sharedStrings.xml", strings, "application/"
                  "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml")
        return self.path(name)

    def test_rows_written_into_a_small_sheet_leave_the_large_one_as_it_was(self):
        # Writing a few rows into sheet 2 read and rewrote the whole
        # workbook: its cost followed the large sheet 1, not the rows.
        out = self.large_book("large.xlsx")
        before = raw_parts(out)
        code, err = self.vok("-i", self.report, "-r", self.recipe, "-o", out, "-w", "2")
        self.assertEqual((code, err), (0, ""))
        after = raw_parts(out)
        # The large sheet and the shared strings keep their compressed bytes.
        for name in ("xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/theme/theme1.xml"):
            self.assertEqual(after[name], before[name], name)
        # A sheet vok did not read may hold formulas: they are recalculated.
        self.assertIn(b'fullCalcOnLoad="1"', parts(out)["xl/workbook.xml"])
        book = openpyxl.load_workbook(out, read_only=True)
        self.assertEqual([[c.value for c in row] for row in book["Other"].iter_rows(max_row=2)],
                         [[None, None, "1000-00    ", "Cash in bank        ", 1234.5],
                          [None, None, "2000-00    ", "Payables            ", -12]])
        data = book["Data"]
        data.reset_dimensions()  # the sheet's dimension says A1
        self.assertEqual([c.value for c in next(data.iter_rows(min_row=24998))],
                         [24998, "two", "line 24998 of the large sheet"])
        book.close()

    def test_a_damaged_large_sheet_is_said_when_written_and_kept_when_not(self):
        out = self.large_book("damaged.xlsx", tail="<row r=\"25001\"><c r=\"A25001\"><v>1</c>")
        before = self.read("damaged.xlsx")
        # Written into, it ends the job and the workbook stays as it was.
        code, err = self.vok("-i", self.report, "-r", self.recipe, "-o", out, "-w", "1")
        self.assertEqual(code, 1)
        self.assertIn("Cannot write to " + out + ": its part xl/worksheets/sheet1.xml is damaged "
                      "(mismatched tag at line 2). The conversion of this file ends here.", err)
        self.assertEqual(self.read("damaged.xlsx"), before)
        # Another sheet is written, and the damaged one copied as it is.
        code, err = self.vok("-i", self.report, "-r", self.recipe, "-o", out, "-w", "2")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(raw_parts(out)["xl/worksheets/sheet1.xml"],
                         raw_parts_of(before)["xl/worksheets/sheet1.xml"])


    def test_dimensions_out_of_place_leave_the_sheet_whole(self):
        # Fault: a dimension nested in the worksheet's, or one after the rows,
        # was taken for the one to rewrite; the save cut the part in the
        # wrong place and the workbook no longer opened.
        sheet = sheet_part('<row r="7"><c r="A7"><v>7</v></c></row>').decode()
        for name, change in (
                ("nested.xlsx", lambda x: x.replace('<dimension ref="A1"/>',
                                                    '<dimension ref="A1"><dimension ref="Z9"/>'
                                                    '</dimension>')),
                ("after.xlsx", lambda x: x.replace('</sheetData>',
                                                   '</sheetData><dimension ref="Z9"/>'))):
            book = openpyxl.Workbook()
            book.active.title = "Data"
            book.save(self.path("made.xlsx"))
            out = self.path(name)
            rewrite(self.path("made.xlsx"), out, lambda part, data, change=change:
                    change(sheet).encode() if part == "xl/worksheets/sheet1.xml" else data)
            code, err = self.convert(out)
            self.assertEqual((code, err), (0, ""), name)
            written = parts(out)["xl/worksheets/sheet1.xml"].decode()
            self.assertEqual(written.count('<dimension ref="Z9"/>'),
                             1 if name == "after.xlsx" else 0, written)
            result = openpyxl.load_workbook(out)["Data"]
            self.assertEqual([c.value for c in result[1]][2:],
                             ["1000-00    ", "Cash in bank        ", 1234.5], name)
            self.assertEqual(result["A7"].value, 7, name)

class ExistingXlsxSwitchSyntax(ExistingXlsx):
    SYNTAX = "switch"


if __name__ == "__main__":
    unittest.main()
