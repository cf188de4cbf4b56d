"""Writing into an existing .xls keeps everything vok does not write.

Workbooks made by other writers (xlwt, LibreOffice; made afresh when they are
installed, else the files stored in tests/data/xls) go through the real
program in both command-line syntaxes. Every record of the workbook globals
and of every sheet is compared before and after: records outside the cells
vok wrote must be unchanged (shared-string cells by their text), only new
FORMAT and XF records may be added, and every other stream of the container
must keep its bytes. xlrd reads the result. What vok cannot keep stops the
run with a message and leaves the file byte for byte."""

import os
import shutil
import struct
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
import xlrd.compdoc
from xlrd.book import unpack_SST_table

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
VOK = os.path.join(BUILD, "vok")
DATA = os.path.abspath(os.path.join(SOURCE, "tests", "data"))
sys.path.insert(0, os.path.join(DATA, "xls"))
import make_fixtures  # noqa: E402

BOF, EOF, CONTINUE, SST, EXTSST = 0x0809, 0x000A, 0x003C, 0x00FC, 0x00FF
FONT, FORMAT, XF, BOUNDSHEET = 0x0031, 0x041E, 0x00E0, 0x0085
ROW, DBCELL, INDEX, DIMENSIONS = 0x0208, 0x00D7, 0x020B, 0x0200
NUMBER, RK, MULRK, LABELSST, LABEL, BLANK, MULBLANK = (0x0203, 0x027E, 0x00BD, 0x00FD, 0x0204,
                                                       0x0201, 0x00BE)
CELLS = {NUMBER, RK, MULRK, LABELSST, LABEL, BLANK, MULBLANK}
# What an edited sheet's cell table is made of; the rest of it must stay.
TABLE = CELLS | {ROW, DBCELL, INDEX, DIMENSIONS}
# vok writes the table of good.rcp into A1:C4 of the first sheet (its last
# line is empty).
WRITTEN = {(r, c) for r in range(4) for c in range(3)}


def streams(path):
    """Every stream of the container by path, and the Workbook stream."""
    with open(path, "rb") as f:
        doc = xlrd.compdoc.CompDoc(f.read(), logfile=open(os.devnull, "w"))
    found = {}

    def walk(index, prefix):
        if index < 0:
            return
        entry = doc.dirlist[index]
        walk(entry.left_DID, prefix)
        walk(entry.right_DID, prefix)
        name = prefix + entry.name
        if entry.etype == 2:
            found[name] = doc.get_named_stream(name)
        elif entry.etype == 1:
            walk(entry.root_DID, name + "/")

    walk(doc.dirlist[0].root_DID, "")
    return found


def substream(stream, start):
    """The records (id, data) of the substream at `start`, nested ones too."""
    records, pos, depth = [], start, 0
    while pos + 4 <= len(stream):
        rid, length = struct.unpack_from("<HH", stream, pos)
        records.append((rid, bytes(stream[pos + 4:pos + 4 + length])))
        pos += 4 + length
        depth += rid == BOF
        depth -= rid == EOF
        if depth == 0:
            break
    return records


class Book:
    """A Workbook stream taken apart: globals, shared strings, sheets."""

    def __init__(self, path):
        self.streams = streams(path)
        wb = self.streams.pop("Workbook")
        self.globals = substream(wb, 0)
        table, self.sheets = [], []
        for rid, data in self.globals:
            if rid == SST or (rid == CONTINUE and table):
                table.append(data)
            elif table:
                break
        count = struct.unpack_from("<I", table[0], 4)[0] if table else 0
        self.strings, self.runs = unpack_SST_table(table, count) if table else ([], {})
        for rid, data in self.globals:
            if rid == BOUNDSHEET:
                self.sheets.append((data[4:], substream(wb, struct.unpack_from("<I", data)[0])))

    def cells(self, records):
        """(row, column) -> (XF, value) of a sheet's cell records."""
        found = {}
        for rid, d in records:
            if rid in (MULRK, MULBLANK):
                row, first = struct.unpack_from("<HH", d)
                size = 6 if rid == MULRK else 2
                for i in range((len(d) - 6) // size):
                    xf = struct.unpack_from("<H", d, 4 + size * i)[0]
                    value = (xlrd.sheet.unpack_RK(d[6 + 6 * i:10 + 6 * i])
                             if rid == MULRK else None)
                    found[(row, first + i)] = (xf, value)
            elif rid in CELLS:
                row, column, xf = struct.unpack_from("<HHH", d)
                value = {NUMBER: lambda: struct.unpack_from("<d", d, 6)[0],
                         RK: lambda: xlrd.sheet.unpack_RK(d[6:10]),
                         LABELSST: lambda: self.string(struct.unpack_from("<I", d, 6)[0]),
                         LABEL: lambda: d[6:],
                         BLANK: lambda: None}[rid]()
                found[(row, column)] = (xf, value)
        return found

    def string(self, index):
        return (self.strings[index], tuple(self.runs.get(index, ())))


def comparable_globals(records):
    """The globals as a list to compare: without the shared strings, which
    are rebuilt, with each sheet's state and name but not its position, and
    the default font without its name (vok sets it)."""
    kept, in_sst, first_font = [], False, True
    for rid, data in records:
        in_sst = rid == SST or (rid == CONTINUE and in_sst)
        if in_sst or rid == EXTSST:
            continue
        if rid == BOUNDSHEET:
            data = data[4:]
        elif rid == FONT and first_font:
            data, first_font = data[:14], False
        kept.append((rid, data))
    return kept


class XlsKeepTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The fixtures: made afresh where the writers are installed.
        cls.fixtures = tempfile.mkdtemp(prefix="vok-xls-fixtures-")
        for makers, available in ((make_fixtures.XLWT, make_fixtures.have_xlwt()),
                                  (make_fixtures.LIBREOFFICE, make_fixtures.have_libreoffice())):
            for name, maker in makers.items():
                target = os.path.join(cls.fixtures, name)
                if available:
                    maker(target)
                else:
                    shutil.copyfile(os.path.join(DATA, "xls", name), target)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.fixtures, ignore_errors=True)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-xls-keep-")
        self.home = os.path.join(self.dir, "home")
        os.mkdir(self.home)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def vok(self, syntax, output, *extra):
        """Writes the table of good.rcp into `output` with the real program."""
        report = os.path.join(DATA, "bad", "report.txt")
        recipe = os.path.join(DATA, "bad", "good.rcp")
        if syntax == "linux":
            args = ["-i", report, "-r", recipe, "-o", output, *extra]
        else:
            # In the switch syntax every "\\" is a separator.
            switch = lambda path: path.replace("/", "\\")  # noqa: E731
            args = ["/I", switch(report), "/R", switch(recipe), "/O", switch(output),
                    *[{"-c": "/C"}[e] for e in extra]]
        done = subprocess.run([VOK, *args], env={**os.environ, "VOK_HOME": self.home},
                              capture_output=True, check=False, timeout=120)
        return done.returncode, done.stderr.decode()

    def copy(self, fixture, name):
        path = os.path.join(self.dir, name)
        shutil.copyfile(os.path.join(self.fixtures, fixture), path)
        return path

    def assert_globals_kept(self, before, after):
        """Every record of the globals, in order; after may add FORMAT and XF records."""
        old, new = comparable_globals(before.globals), comparable_globals(after.globals)
        i = 0
        for record in new:
            if i < len(old) and record == old[i]:
                i += 1
            else:
                self.assertIn(record[0], (FORMAT, XF), "a globals record changed: %r" % (record,))
        self.assertEqual(i, len(old), "globals records lost from %r on" % (old[i:i + 1],))

    def assert_sheet_kept(self, before, after, index, written):
        """The sheet's records outside its cell table as they were; its cells
        as they were except those vok wrote."""
        (state_b, old), (state_a, new) = before.sheets[index], after.sheets[index]
        self.assertEqual(state_b, state_a)
        self.assertEqual([r for r in old if r[0] not in TABLE],
                         [r for r in new if r[0] not in TABLE])
        old_cells, new_cells = before.cells(old), after.cells(new)
        for key, value in old_cells.items():
            if key not in written:
                self.assertEqual(new_cells.get(key), value, key)
        self.assertEqual(set(new_cells) - set(old_cells) - written, set())
        # Row heights and formats: each ROW record but its column range.
        rows = lambda records: {d[:2]: d[6:] for rid, d in records if rid == ROW}  # noqa: E731
        for row, rest in rows(old).items():
            self.assertEqual(rows(new).get(row), rest, row)

    def test_every_record_outside_the_written_cells_is_kept(self):
        for fixture in ("styled.xls", "properties.xls"):
            for syntax in ("linux", "switch"):
                with self.subTest(fixture=fixture, syntax=syntax):
                    book = self.copy(fixture, syntax + "-" + fixture)
                    before = Book(book)
                    code, err = self.vok(syntax, book, "-c")
                    self.assertEqual(code, 0, err)
                    after = Book(book)
                    self.assert_globals_kept(before, after)
                    self.assert_sheet_kept(before, after, 0, WRITTEN)
                    for index in range(1, len(before.sheets)):
                        self.assert_sheet_kept(before, after, index, set())
                    # Document properties and every other stream, byte for byte.
                    self.assertEqual(before.streams, after.streams)
                    self.assert_written_table(book)

    def assert_written_table(self, book):
        wb = xlrd.open_workbook(book, formatting_info=True)
        sheet = wb.sheet_by_index(0)
        self.assertEqual([sheet.cell_value(r, 2) for r in range(3)], [1234.5, -12.0, 9000.0])
        self.assertEqual(sheet.cell_value(0, 0), "1000-00    ")
        fmt = wb.format_map[wb.xf_list[sheet.cell(0, 2).xf_index].format_key].format_str
        self.assertEqual(fmt, "#,##0.00")
        self.assertEqual(wb.font_list[0].name, "Courier New")

    def test_what_the_issue_found_lost_is_there_for_a_reader(self):
        book = self.copy("styled.xls", "styled.xls")
        code, err = self.vok("linux", book, "-c")
        self.assertEqual(code, 0, err)
        wb = xlrd.open_workbook(book, formatting_info=True)
        self.assertEqual(wb.datemode, 1)
        self.assertEqual([(s.name, s.visibility) for s in wb.sheets()],
                         [("Data", 0), ("Second", 0), ("Secret", 1), ("Deep", 2)])
        second = wb.sheet_by_name("Second")
        self.assertEqual(xlrd.xldate_as_tuple(second.cell_value(0, 0), wb.datemode)[:3],
                         (2027, 3, 16))
        self.assertEqual(second.merged_cells, [(2, 4, 0, 3)])
        self.assertEqual(wb.sheet_by_name("Data").merged_cells, [(10, 11, 0, 4)])
        self.assertEqual(second.colinfo_map[1].width, 6000)
        self.assertEqual(second.rowinfo_map[5].height, 800)
        runs = second.rich_text_runlist_map[(6, 0)]
        self.assertEqual([start for start, _ in runs], [6, 10])
        self.assertTrue(wb.font_list[runs[0][1]].bold)
        self.assertEqual(wb.colour_map[wb.font_list[runs[1][1]].colour_index], (255, 0, 0))
        self.assertTrue(second.panes_are_frozen)
        data = wb.sheet_by_name("Data")
        self.assertEqual(data.cell_value(1, 5), 1234.5678)
        self.assertEqual(wb.format_map[wb.xf_list[data.cell(1, 5).xf_index].format_key].format_str,
                         "#,##0.000")
        self.assertTrue(wb.font_list[wb.xf_list[data.cell(0, 5).xf_index].font_index].italic)

    def test_clearing_empties_the_used_range_and_keeps_the_sheet_around_it(self):
        for syntax in ("linux", "switch"):
            with self.subTest(syntax=syntax):
                book = self.copy("formatted.xls", syntax + "-formatted.xls")
                before = Book(book)
                code, err = self.vok(syntax, book)
                self.assertEqual(code, 0, err)
                after = Book(book)
                self.assert_globals_kept(before, after)
                # The used range was cleared, contents and formats: only the
                # table is left; column widths, row heights, the pane stay.
                (_, old), (_, new) = before.sheets[0], after.sheets[0]
                self.assertEqual([r for r in old if r[0] not in TABLE],
                                 [r for r in new if r[0] not in TABLE])
                self.assertEqual(set(after.cells(new)), {(r, c) for r, c in WRITTEN if r < 3})
                self.assert_sheet_kept(before, after, 1, set())

    def test_a_second_month_into_the_same_workbook_adds_nothing(self):
        book = self.copy("styled.xls", "styled.xls")
        self.assertEqual(self.vok("linux", book, "-c")[0], 0)
        with open(book, "rb") as f:
            first = f.read()
        self.assertEqual(self.vok("switch", book, "-c")[0], 0)
        with open(book, "rb") as f:
            self.assertEqual(f.read(), first)

    def test_clearing_keeps_the_merged_cells_of_the_cleared_range(self):
        for syntax in ("linux", "switch"):
            with self.subTest(syntax=syntax):
                book = self.copy("merged-below-table.xls", syntax + "-merged.xls")
                code, err = self.vok(syntax, book)
                self.assertEqual(code, 0, err)
                data = xlrd.open_workbook(book, formatting_info=True).sheet_by_index(0)
                # A9:C9, 0-based and end-exclusive as xlrd gives it.
                self.assertIn((8, 9, 0, 3), data.merged_cells)
                self.assertEqual(data.cell_value(8, 0), "")

    def test_what_vok_cannot_keep_stops_the_run_and_changes_nothing(self):
        cases = [
            ("workbook-merge-over-table.xls", ["-c"],
             'writing cell A2 of sheet "Data" would lose the merged cells A2:B2'),
            ("workbook-link-over-table.xls", ["-c"],
             'writing cell B2 of sheet "Data" would lose the hyperlink on B2'),
        ]
        for fixture, extra, message in cases:
            for syntax in ("linux", "switch"):
                with self.subTest(fixture=fixture, syntax=syntax):
                    folder = tempfile.mkdtemp(dir=self.dir)
                    book = os.path.join(folder, fixture)
                    shutil.copyfile(os.path.join(DATA, "bad", fixture), book)
                    with open(book, "rb") as f:
                        before = f.read()
                    code, err = self.vok(syntax, book, *extra)
                    self.assertEqual(code, 1)
                    self.assertIn("The workbook %s was left unchanged: %s." % (book, message),
                                  err)
                    with open(book, "rb") as f:
                        self.assertEqual(f.read(), before)
                    # No temporary file is left beside it.
                    self.assertEqual(os.listdir(folder), [fixture])


if __name__ == "__main__":
    unittest.main()
