"""Outputs compared with what a trusted build wrote, kept small enough for the
repository (tests/data/expected), and where a new output first departs from
it. The files are those tests/support/OutputExpectation.cpp writes and reads:
gzip text keeping the output's first lines verbatim and, for each block of
1,000 lines, the block's size and the sums Σh, Σk·h, Σk²·h (modulo 2^61−1)
of its line digests h (CRC-32 and Adler-32 of the line), k the line's place
in the block, from which a block's only changed, lost or added line is
located. A workbook's sheet
is compared as its cells, one line per cell in row order
("C17<TAB>kind<TAB>value")."""

import gzip
import io
import os
import re
import zipfile
import xml.etree.ElementTree as ET
import zlib

BLOCK = 1000
PRIME = (1 << 61) - 1
MAGIC = b"vok expected output\n"
HEADER = re.compile(rb"lines (\d+) bytes (\d+) kept (\d+) (\d+)\n")


def line_digest(line):
    return (zlib.crc32(line) << 32 | zlib.adler32(line)) % PRIME


def block_sums(lines):
    """(lines, bytes, Σh, Σk·h, Σk²·h) of a block."""
    s0 = s1 = s2 = 0
    for k, line in enumerate(lines, 1):
        h = line_digest(line)
        s0, s1, s2 = (s0 + h) % PRIME, (s1 + k * h) % PRIME, (s2 + k * k * h) % PRIME
    return (len(lines), sum(map(len, lines)), s0, s1, s2)


def blocks_of(lines):
    return [lines[i:i + BLOCK] for i in range(0, len(lines), BLOCK)]


def record(lines, path, kept):
    """Writes the expectation of `lines` (bytes, each with its line end)."""
    kept_text = b"".join(lines[:kept])
    text = [MAGIC, b"lines %d bytes %d kept %d %d\n" % (
        len(lines), sum(map(len, lines)), min(kept, len(lines)), len(kept_text)), kept_text]
    text += [b"%d %d %016x %016x %016x\n" % block_sums(b) for b in blocks_of(lines)]
    # No time in the gzip header: recording the same output again changes nothing.
    with open(path + ".new", "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", mtime=0) as f:
        f.write(b"".join(text))
    os.replace(path + ".new", path)


def load(path):
    """(line count, kept lines, block sums) of an expectation."""
    with gzip.open(path, "rb") as f:
        text = f.read()
    header = HEADER.match(text, len(MAGIC)) if text.startswith(MAGIC) else None
    if not header:
        raise ValueError(path + " is not an expected output")
    count, _, kept_count, kept_bytes = map(int, header.groups())
    kept = io.BytesIO(text[header.end():header.end() + kept_bytes]).readlines()
    assert len(kept) == kept_count, path + " is damaged"
    blocks = [tuple(int(v, 10 if i < 2 else 16) for i, v in enumerate(row.split()))
              for row in text[header.end() + kept_bytes:].splitlines()]
    return count, kept, blocks


def shown(line):
    return line.decode("utf-8", "backslashreplace").encode("unicode_escape").decode("ascii")


def fits_with_one_unknown(want, known, at):
    """Whether the expected sums are those of the lines `known` stands for and
    of one unknown line at place `at`: its digest follows from Σh, and Σk·h and
    Σk²·h must agree with it."""
    x = (want[2] - known[0]) % PRIME
    return ((known[1] + at * x) % PRIME, (known[2] + at * at * x) % PRIME) == want[3:]


def moved(t, by):
    """The sums of lines that move one place on (+1) or back (-1)."""
    return (t[0], (t[1] + by * t[0]) % PRIME, (t[2] + 2 * by * t[1] + t[0]) % PRIME)


def locate_one_edit(want, lines):
    """("differs" | "is missing" | "was added", place) of the block's only
    changed, lost or added line, tried at every place: the lines around it keep
    or shift their places and the one line the block does not show is the
    unknown."""
    n, m = want[0], len(lines)
    prefix = [(0, 0, 0)]
    for k, line in enumerate(lines, 1):
        h, (p0, p1, p2) = line_digest(line), prefix[-1]
        prefix.append(((p0 + h) % PRIME, (p1 + k * h) % PRIME, (p2 + k * k * h) % PRIME))

    def span(first, last):
        if first > last:
            return (0, 0, 0)
        return tuple((b - a) % PRIME for a, b in zip(prefix[first - 1], prefix[last]))

    def plus(a, b):
        return tuple((x + y) % PRIME for x, y in zip(a, b))

    for j in range(1, n + 1):
        if m == n and fits_with_one_unknown(want, plus(span(1, j - 1), span(j + 1, n)), j):
            return "differs", j
        if m >= n - 1 and fits_with_one_unknown(
                want, plus(span(1, j - 1), moved(span(j, n - 1), 1)), j):
            return "is missing", j
        if m >= n and fits_with_one_unknown(
                want, plus(span(1, j - 1), moved(span(j + 1, n), -1)), n):
            return "was added", j
    return None


def block_differs(lines, first, want, got, kept, name, unit):
    block = lines[first - 1:first - 1 + got[0]]
    last = first + max(want[0], got[0]) - 1
    where = (f"only digests are kept past {name(kept)}, and those {unit} were {want[0]} "
             f"{unit} of {want[1]} bytes, now {got[0]} of {got[1]}")
    edit = locate_one_edit(want, block)
    if edit:
        what, k = edit
        if k > len(block):
            return f"the last of the {unit} is missing (the output ends; {where})\n"
        edited = f"{name(first + k - 1)} {what}"
        if what == "is missing":
            edited = f"a {unit[:-1]} is missing before {name(first + k - 1)}"
        return (f"{edited} (the only change from {name(first)} to {name(last)}; {where})\n"
                f"  now: {shown(block[k - 1])}\n")
    return (f"more than one differs from {name(first)} to {name(last)} ({where}); they begin\n"
            + "".join(f"  {shown(line)}\n" for line in block[:3]))


def first_difference(lines, path, name=lambda n: f"line {n}", unit="lines"):
    """Where `lines` first depart from the expectation at `path`, in words;
    "" when they match. `name` names the n-th line (a cell's reference, say),
    `unit` what the lines are."""
    count, kept, blocks = load(path)
    for n, (want, got) in enumerate(zip(kept, lines), 1):
        if want != got:
            return f"{name(n)} differs\n  expected: {shown(want)}\n  now:      {shown(got)}\n"
    if len(lines) < len(kept):
        return f"the output ends before {name(len(lines) + 1)}, expected: {shown(kept[len(lines)])}\n"
    totals = f"(the output has {len(lines)} {unit}; expected {count})\n"
    for i, block in enumerate(blocks_of(lines[:count])):
        want = blocks[i] if i < len(blocks) else (0, 0, 0, 0, 0)
        got = block_sums(block)
        if got != want:
            return (block_differs(lines, i * BLOCK + 1, want, got, len(kept), name, unit)
                    + (totals if len(lines) != count else ""))
    if len(lines) > count:
        return (f"the output goes on past the expected {count} {unit}; {name(count + 1)}: "
                f"{shown(lines[count])}\n")
    return "" if len(lines) == count else f"the output ends after {name(len(lines))} " + totals


def check(lines, path, kept, name=lambda n: f"line {n}", unit="lines"):
    """first_difference, or with VOK_RECORD_EXPECTED set, record and "" (see
    scripts/record-expected-outputs.sh)."""
    if os.environ.get("VOK_RECORD_EXPECTED"):
        record(lines, path, kept)
        return ""
    return first_difference(lines, path, name, unit)


def check_cells(cells, path, kept):
    """check for a sheet's cell lines, each named by its reference."""
    def name(n):
        return "cell " + (cells[n - 1].split(b"\t")[0].decode() if n <= len(cells) else str(n))
    return check(cells, path, kept, name, "cells")


def cell_line(ref, kind, value):
    escaped = value.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r")
    return f"{ref}\t{kind}\t{escaped.replace(chr(10), chr(92) + 'n')}\n".encode()


MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"


def xlsx_cells(book, sheet="xl/worksheets/sheet1.xml"):
    """The cells of an .xlsx sheet as lines: kind is the cell's type and
    style (text of shared strings and inline strings resolved)."""
    with zipfile.ZipFile(book) as z:
        shared = []
        if "xl/sharedStrings.xml" in z.namelist():
            shared = ["".join(t.text or "" for t in si.iter(MAIN + "t"))
                      for si in ET.fromstring(z.read("xl/sharedStrings.xml"))]
        cells = []
        for _, c in ET.iterparse(z.open(sheet)):
            if c.tag == MAIN + "row":
                c.clear()
            if c.tag != MAIN + "c":
                continue
            kind, value = c.get("t", "n"), c.findtext(MAIN + "v") or ""
            if kind == "inlineStr":
                value = "".join(t.text or "" for t in c.iter(MAIN + "t"))
            elif kind == "s":
                value = shared[int(value)]
            formula = c.findtext(MAIN + "f")
            kind += f" s{c.get('s')}" if c.get("s") else ""
            cells.append(cell_line(c.get("r"), kind + (f" ={formula}" if formula else ""), value))
            c.clear()
    return cells


def xls_cells(sheet):
    """The cells of an xlrd sheet as lines: kind is xlrd's cell type; empty
    cells are left out."""
    import xlrd
    kinds = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_DATE: "date",
             xlrd.XL_CELL_BOOLEAN: "bool", xlrd.XL_CELL_ERROR: "error", xlrd.XL_CELL_BLANK: "blank"}
    return [cell_line(xlrd.cellname(r, c), kinds[cell.ctype], repr(cell.value))
            for r in range(sheet.nrows) for c, cell in enumerate(sheet.row(r))
            if cell.ctype != xlrd.XL_CELL_EMPTY]
