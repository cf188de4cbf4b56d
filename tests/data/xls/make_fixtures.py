"""Makes the existing workbooks the .xls tests write into, with writers other
than vok: xlwt, and LibreOffice (from a workbook openpyxl makes) for what
xlwt cannot write (document properties, defined names, hyperlinks).

    python3 make_fixtures.py [FOLDER]   writes every fixture into FOLDER
                                        (default: this folder; the refusal
                                        cases also into ../bad)

The tests make them afresh when the writers are installed and use the files
stored here when they are not."""

import datetime
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def have_xlwt():
    try:
        import xlwt  # noqa: F401
        return True
    except ImportError:
        return False


def have_libreoffice():
    try:
        import openpyxl  # noqa: F401
    except ImportError:
        return False
    return shutil.which("soffice") is not None


def styled(path):
    """Four sheets: "Data" (vok writes into it) with formatted cells, a
    merge, column widths and row heights; "Second" with a 1904 date, a merge,
    fonts, fills, number formats, a frozen pane, header and footer, sheet
    protection with a password and rich text; "Secret" hidden and "Deep" very
    hidden."""
    import xlwt
    wb = xlwt.Workbook()
    wb.dates_1904 = True
    data = wb.add_sheet("Data")
    second = wb.add_sheet("Second")
    secret = wb.add_sheet("Secret")
    secret.visibility = 1
    deep = wb.add_sheet("Deep")
    deep.visibility = 2
    # Data: beside and below the table vok writes into A1:C3.
    data.write(0, 5, "kept", xlwt.easyxf("font: italic on, colour blue"))
    data.write(1, 5, 1234.5678, xlwt.easyxf(num_format_str="#,##0.000"))
    data.write(3, 0, "below", xlwt.easyxf("pattern: pattern solid, fore_colour light_green"))
    for column in range(1, 5):
        data.write(3, column, column * 1.5, xlwt.easyxf("font: bold on"))
    data.write_merge(10, 10, 0, 3, "title",
                     xlwt.easyxf("font: bold on, height 280; align: horiz centre"))
    data.col(0).width = 5000
    data.col(4).width = 7000
    data.row(10).height_mismatch = True
    data.row(10).height = 600
    # Second: what the issue found lost.
    second.write(0, 0, datetime.date(2027, 3, 16), xlwt.easyxf(num_format_str="yyyy-mm-dd"))
    second.write(0, 1, 0.125, xlwt.easyxf(num_format_str="0.00%"))
    second.write_merge(2, 3, 0, 2, "merged",
                       xlwt.easyxf("font: bold on, colour red; "
                                   "pattern: pattern solid, fore_colour yellow"))
    second.col(1).width = 6000
    second.row(5).height_mismatch = True
    second.row(5).height = 800
    second.write(5, 0, "tall")
    second.write_rich_text(6, 0, ["plain ", ("bold", xlwt.easyfont("bold true")),
                                  (" red", xlwt.easyfont("colour red"))])
    second.protect = True
    second.password = "secret"
    second.panes_frozen = True
    second.horz_split_pos = 1
    second.vert_split_pos = 1
    second.header_str = b"Ledger &P"
    second.footer_str = b"Page &P of &N"
    secret.write(0, 0, "hidden")
    deep.write(0, 0, "very hidden")
    wb.save(path)


def formatted(path):
    """Sheet "Data" holds formatted cells only in its used range (vok clears
    it), its column widths, row heights and frozen pane stay; "Other" keeps
    everything."""
    import xlwt
    wb = xlwt.Workbook()
    data = wb.add_sheet("Data")
    other = wb.add_sheet("Other")
    data.write(0, 0, "old heading", xlwt.easyxf("font: bold on"))
    data.write(5, 3, 99, xlwt.easyxf("pattern: pattern solid, fore_colour tan"))
    data.write(6, 1, "old", xlwt.easyxf("font: italic on"))
    data.col(1).width = 9000
    data.row(2).height_mismatch = True
    data.row(2).height = 500
    data.panes_frozen = True
    data.horz_split_pos = 1
    other.write(0, 0, "other", xlwt.easyxf("font: bold on, colour green"))
    other.write_merge(1, 2, 0, 1, "other merge")
    wb.save(path)


def merge_over_table(path):
    """A merge over A2:B2 of sheet "Data", where vok's table goes."""
    import xlwt
    wb = xlwt.Workbook()
    data = wb.add_sheet("Data")
    data.write_merge(1, 1, 0, 1, "merged over the table")
    wb.add_sheet("Other").write(0, 0, "other")
    wb.save(path)


def merge_in_used_range(path):
    """A merge below the table of sheet "Data", in the range a run clears:
    clearing empties its cells and keeps the merge."""
    import xlwt
    wb = xlwt.Workbook()
    wb.add_sheet("Data").write_merge(8, 8, 0, 2, "merged below the table")
    wb.save(path)


def _libreoffice(build, path):
    """Builds a workbook with openpyxl and has LibreOffice convert it to .xls."""
    import openpyxl
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "book.xlsx")
        wb = openpyxl.Workbook()
        build(wb)
        wb.save(source)
        # A profile of its own, so that a running LibreOffice is no obstacle.
        profile = "file://" + os.path.join(work, "profile")
        subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                        "--convert-to", "xls", "--outdir", work, source],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                       timeout=180)
        shutil.copyfile(os.path.join(work, "book.xls"), path)


def properties(path):
    """Document properties, a defined name, a hyperlink beside the table,
    merges, a frozen pane and a hidden sheet."""
    from openpyxl.styles import Font, PatternFill
    from openpyxl.workbook.defined_name import DefinedName

    def build(wb):
        data = wb.active
        data.title = "Data"
        data["F1"] = "kept"
        data["F1"].font = Font(italic=True, color="FF0000")
        data["F2"] = 12.5
        data["F2"].number_format = "0.000"
        data["F3"] = "link"
        data["F3"].hyperlink = "https://example.com/ledger"
        second = wb.create_sheet("Second")
        second["A1"] = datetime.date(2027, 3, 16)
        second["A1"].number_format = "yyyy-mm-dd"
        second.merge_cells("A3:C4")
        second["A3"] = "merged"
        second["A3"].fill = PatternFill("solid", fgColor="FFFF00")
        second.freeze_panes = "B2"
        second.column_dimensions["B"].width = 30
        second.row_dimensions[6].height = 40
        hidden = wb.create_sheet("Secret")
        hidden.sheet_state = "hidden"
        hidden["A1"] = "secret"
        wb.defined_names.append(DefinedName("Totals", attr_text="Second!$A$1:$C$4"))
        wb.properties.title = "Ledger book"
        wb.properties.creator = "Accounts"
        wb.properties.subject = "Month end"

    _libreoffice(build, path)


def link_over_table(path):
    """A hyperlink on B2 of sheet "Data", where vok's table goes."""
    def build(wb):
        wb.active.title = "Data"
        wb.active["B2"] = "see the ledger"
        wb.active["B2"].hyperlink = "https://example.com/ledger"

    _libreoffice(build, path)


XLWT = {"styled.xls": styled, "formatted.xls": formatted,
        "merged-below-table.xls": merge_in_used_range}
LIBREOFFICE = {"properties.xls": properties}
# The refusal cases of the bad-input corpus.
BAD_XLWT = {"workbook-merge-over-table.xls": merge_over_table}
BAD_LIBREOFFICE = {"workbook-link-over-table.xls": link_over_table}


def make(folder, bad_folder):
    for makers, target, available in ((XLWT, folder, have_xlwt()),
                                      (LIBREOFFICE, folder, have_libreoffice()),
                                      (BAD_XLWT, bad_folder, have_xlwt()),
                                      (BAD_LIBREOFFICE, bad_folder, have_libreoffice())):
        if not available:
            print("skipped (writer not installed):", ", ".join(makers), file=sys.stderr)
            continue
        for name, maker in makers.items():
            maker(os.path.join(target, name))


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else HERE
    make(folder, os.path.join(HERE, "..", "bad") if len(sys.argv) == 1 else folder)
