"""Text reports printed to PDF for the tests, by two generators: Qt's PDF
writer (the tool make_test_pdf) and ghostscript (PostScript written here,
set in Courier). Each page of the text (split at form feeds) is one page of
the PDF, each line on its own baseline."""

import os
import subprocess

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
MAKE_TEST_PDF = os.path.join(BUILD, "make_test_pdf")


def pages_of(text):
    """The text's pages, each a list of lines (tabs expanded, as printed)."""
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    pages = []
    for page in text.split("\f"):
        lines = page.split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        pages.append([line.expandtabs(8) for line in lines])
    return pages


def printed(text):
    """The lines a PDF of `text` gives back: trailing blanks dropped, a page's
    blank lines above its first and below its last text line not seen, each
    page after the first opening with a form feed, LF line ends."""
    out = []
    for number, lines in enumerate(pages_of(text)):
        lines = [line.rstrip(" ") for line in lines]
        while lines and not lines[0]:
            lines.pop(0)
        while lines and not lines[-1]:
            lines.pop()
        if number > 0:
            lines = ["\f" + (lines[0] if lines else "")] + lines[1:]
        out += lines
    return "".join(line + "\n" for line in out)


def _ps_string(line):
    return "(" + line.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def ghostscript_pdf(text, pdf, user_password=None, owner_password=None, truncate=False,
                    shadow=None):
    """Prints `text` in Courier 7 pt with ghostscript; with `shadow` (dx, dy in
    points), every line is drawn a second time that far off, a drop shadow."""
    ps = ["%!PS-Adobe-3.0", "/Courier findfont 7 scalefont setfont"]
    for lines in pages_of(text):
        ps.append("<< /PageSize [612 792] >> setpagedevice")
        for i, line in enumerate(lines):
            if line.strip():
                ps.append(f"36 {756 - 9 * i} moveto {_ps_string(line)} show")
            if line.strip() and shadow:
                ps.append(f"{36 + shadow[0]} {756 - 9 * i + shadow[1]} moveto "
                          f"{_ps_string(line)} show")
        ps.append("showpage")
    source = pdf + ".ps"
    with open(source, "w", encoding="latin-1") as f:
        f.write("\n".join(ps) + "\n")
    argv = ["gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite",
            "-sOutputFile=" + pdf]
    if owner_password:
        argv.append("-sOwnerPassword=" + owner_password)
    if user_password:
        argv.append("-sUserPassword=" + user_password)
    subprocess.run(argv + [source], check=True, capture_output=True)
    os.remove(source)
    return pdf


def qt_pdf(text, pdf, *options):
    """Prints `text` with Qt's PDF writer (DejaVu Sans Mono 8 pt unless told)."""
    source = pdf + ".txt"
    with open(source, "w", encoding="utf-8") as f:
        f.write("\f".join("\n".join(lines) for lines in pages_of(text)))
    subprocess.run([MAKE_TEST_PDF, source, pdf, *options], check=True, capture_output=True)
    os.remove(source)
    return pdf


GENERATORS = {"qt": qt_pdf, "ghostscript": ghostscript_pdf}
