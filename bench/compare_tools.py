#!/usr/bin/python3
"""Helpers of bench/compare.sh: workload generators, the timed runner, output
checks and the result table. Run by compare.sh, not by hand:

  compare_tools.py gen KIND WORK [options]      write one workload into WORK
  compare_tools.py run [options] -- CMD ARGS    time CMD, append to results
  compare_tools.py check KIND [options]         compare two tools' outputs
  compare_tools.py table RESULTS [CHECKS]       print the aligned table

Reports are written with CR LF line ends, as the printers' spools they model.
"""

import argparse
import csv
import os
import re
import shutil
import statistics
import sys
import tempfile
import time
import zipfile

# ---------------------------------------------------------------------------
# Layouts: field widths, the template that lines up with them, and the cuts
# the peers make. vok's field runs from a field's first "-" through the blank
# after it (the last field ends with the template), so the peers cut the same
# characters and their CSV can be compared byte for byte.


class Layout:
    def __init__(self, widths):
        self.widths = list(widths)
        self.template = " ".join("-" * w for w in self.widths)
        self.cuts = []  # (1-based start, length)
        pos = 1
        for i, w in enumerate(self.widths):
            last = i == len(self.widths) - 1
            self.cuts.append((pos, w if last else w + 1))
            pos += w + 1

    def colspecs(self):
        return [(s - 1, s - 1 + n) for s, n in self.cuts]


LEDGER = Layout([9, 25, 10, 8, 15, 15, 16])  # 104 characters + CR LF = 106 bytes
PAGED = Layout([9, 24, 10, 10, 15])
STORE = Layout([8, 24, 6, 12])
SALES = Layout([9, 22, 10, 10, 7, 4, 11, 6, 14, 10])

WORDS = ["OFFICE SUPPLIES", "FREIGHT IN", "RENT - WAREHOUSE", "PAYROLL ACCRUAL",
         "SALES - HARDWARE", "INTEREST INCOME", "UTILITIES - POWER", "INSURANCE PREMIUM"]
NAMES = ["HARLOW & SONS LTD", "NORTHGATE SUPPLY", "PINE RIDGE FARMS", "KESTREL MOTORS",
         "BLUE LAKE DAIRY", "ORCHARD LANE CAFE", "MILLBROOK PAPER CO", "SUMMIT TOOL WORKS"]
ITEMS = ["HEX BOLT 3/8 ZINC", "WOOD SCREW #8 1-1/4", "PAINT ROLLER 9IN", "DUCT TAPE 2IN",
         "GARDEN HOSE 50FT", "LED BULB 60W EQ", "CAULK GUN PRO", "SANDPAPER 120 GRIT"]
CATEGORIES = ["FASTENERS", "PAINT", "GARDEN", "ELECTRICAL", "TOOLS", "PLUMBING"]


def money(cents):
    return f"{cents / 100:,.2f}" if cents else ""


def write_lines(path, lines_iter):
    """Writes CR LF lines in large blocks; returns the byte count."""
    with open(path, "w", encoding="ascii", newline="") as out:
        block = []
        for line in lines_iter:
            block.append(line)
            if len(block) >= 20000:
                out.write("\r\n".join(block) + "\r\n")
                block = []
        if block:
            out.write("\r\n".join(block) + "\r\n")
    return os.path.getsize(path)


def write_recipe(path, tables):
    """tables: list of (start key, start offset, end key, end offset, template)."""
    lines = ["[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", ""]
    for n, (start, so, end, eo, templ) in enumerate(tables, 1):
        lines += [f"[Table {n}]", f"ReadStartLine={start}", f"ReadStartLineOffset={so}",
                  f"ReadEndLine={end}", f"ReadEndLineOffset={eo}", f"Parsing={templ}",
                  "WriteColumn=A", ""]
    write_lines(path, lines)


# ---------------------------------------------------------------------------
# Generators


def ledger_lines(rows):
    yield "BROOKFIELD HARDWARE CO.                    GENERAL LEDGER DETAIL"
    yield "PERIOD ENDING 12/31/2026"
    yield ""
    yield (f"{'ACCOUNT':<9} {'DESCRIPTION':<25} {'DATE':<10} {'REF':<8} {'DEBIT':>15} "
           f"{'CREDIT':>15} {'BALANCE':>16}")
    yield LEDGER.template
    balance = total_debit = total_credit = 0
    nwords = len(WORDS)
    for i in range(rows):
        debit = 0 if i % 3 == 1 else (i * 7919) % 1000000
        credit = 0 if i % 3 == 0 else (i * 104729) % 800000
        balance += debit - credit
        total_debit += debit
        total_credit += credit
        yield (f"{1000 + i % 9000:04d}-{i % 10000:04d} {WORDS[i % nwords]:<25} "
               f"{1 + i % 12:02d}/{1 + i % 28:02d}/2026 JV{i % 1000000:06d} "
               f"{money(debit):>15} {money(credit):>15} {balance / 100:>16,.2f}")
    yield " " * 56 + "-" * 15 + " " + "-" * 15
    yield f"{'REPORT TOTALS':<56}{money(total_debit):>15} {money(total_credit):>15}"
    yield "END OF REPORT"


def gen_ledger(work, name, rows):
    report = os.path.join(work, f"{name}.txt")
    size = write_lines(report, ledger_lines(rows))
    write_recipe(os.path.join(work, f"{name}.rcp"),
                 [("ACCOUNT", 2, "REPORT TOTALS", -2, LEDGER.template)])
    return size


def paged_lines(tables, rows, marked=False):
    """One table per page: heading with the page number (the key), column
    heads, `rows` data rows, and a page-total line (the end key)."""
    n = 0
    for page in range(1, tables + 1):
        yield f"{'NORTHGATE DISTRIBUTION - RECEIVABLES AGING':<60}PAGE {page:04d}"
        yield "AS OF 12/31/2026"
        yield (f"{'CUSTOMER':<9} {'NAME':<24} {'INVOICE':<10} {'DUE DATE':<10} "
               f"{'AMOUNT':>15}")
        yield PAGED.template
        yield ""
        if marked:
            yield f">>{page}"
            yield PAGED.template
        total = 0
        for _ in range(rows):
            amount = (n * 104729) % 5000000 + 100
            total += amount
            yield (f"C{n % 100000000:08d} {NAMES[n % len(NAMES)]:<24} INV{n % 10000000:07d} "
                   f"{1 + n % 12:02d}/{1 + n % 28:02d}/2026 {money(amount):>15}")
            n += 1
        if marked:
            yield f"<<{page}"
        yield f"{'TOTAL FOR PAGE ' + format(page, '04d'):<55}{money(total):>15}"


def paged_recipe(tables):
    # Each page's number is its key: every table's key is searched from the
    # report's first line, so a key repeated on every page would find page 1.
    return [(f"PAGE {p:04d}", 5, f"TOTAL FOR PAGE {p:04d}", -1, PAGED.template)
            for p in range(1, tables + 1)]


def gen_paged(work, name, tables, rows, marked=False):
    report = os.path.join(work, f"{name}.txt")
    size = write_lines(report, paged_lines(tables, rows, marked))
    if not marked:
        write_recipe(os.path.join(work, f"{name}.rcp"), paged_recipe(tables))
    return size


# A ledger printed over pages for the page-break workload: a form feed and
# two heading lines every 60 lines, department and account group lines,
# sub-totals and blank lines between the entries (as bench/page_breaks.sh).
PAGES = Layout([10, 12, 30, 12])
PAGE_SKIPS = ["SUB-TOTAL", "CARRIED FORWARD", "DEPARTMENT TOTAL", "REVIEWED", "(CONTINUED)"]
PAGE_GROUPS = [("DEPARTMENT:", "            --- ----------------", "E"),
               ("ACCOUNT:", "         ---- -------------------", "G")]


def pages_lines(entries):
    state = {"line": 0, "page": 0}

    def emit(text):
        if state["line"] % 60 == 0:
            state["page"] += 1
            yield f"\fNORTHWIND DISTRIBUTION LTD         GENERAL LEDGER DETAIL  PAGE {state['page']:6d}"
            yield "DATE       REFERENCE    DESCRIPTION                          AMOUNT"
            yield PAGES.template
            state["line"] += 3
        yield text
        state["line"] += 1

    yield "LEDGER START"
    n = dept = 0
    while n < entries:
        dept += 1
        yield from emit(f"DEPARTMENT: {dept % 1000:03d} BRANCH {dept}")
        for account in range(10):
            yield from emit(f"ACCOUNT: {4000 + account:04d} EXPENSE GROUP {account}")
            for _ in range(40):
                amount = f"{(n * 37 % 1_000_000) / 100:,.2f}"
                yield from emit(f"{1 + n % 12:02d}/{1 + n % 28:02d}/2026 INV-{n % 10_000_000:07d}  "
                                f"{'Customer %d order %d' % (n % 997, n):<30} {amount:>12}")
                n += 1
            yield from emit(" " * 24 + f"{'ACCOUNT SUB-TOTAL':<30} {'99,999.99':>12}")
            yield from emit(" " * 24 + f"{'CARRIED FORWARD':<30} {'1.00':>12}")
            yield from emit("")
        yield from emit(" " * 24 + f"{'DEPARTMENT TOTAL':<30} {'999,999.99':>12}")
        yield from emit(" " * 24 + "*** REVIEWED ***")
        yield from emit(" " * 24 + "(CONTINUED)")
        yield from emit("")
    yield "LEDGER END"


def gen_pages(work, name, entries):
    report = os.path.join(work, f"{name}.txt")
    size = write_lines(report, pages_lines(entries))
    lines = ["[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "",
             "[Table 1]", "ReadStartLine=LEDGER START", "ReadStartLineOffset=1",
             "ReadEndLine=LEDGER END", "ReadEndLineOffset=-1", f"Parsing={PAGES.template}",
             "WriteColumn=A"]
    lines += [f"SkipLine{k}={text}" for k, text in enumerate(PAGE_SKIPS, 1)]
    lines += ["SkipBlankLines=YES", "PageHeaderLines=3"]
    for k, (text, templ, column) in enumerate(PAGE_GROUPS, 1):
        lines += [f"GroupLine{k}={text}", f"GroupParsing{k}={templ}", f"GroupWriteColumn{k}={column}"]
    write_lines(os.path.join(work, f"{name}.rcp"), lines)
    return size


# A PDF report: the ledger of bench/pdf_bench.py, 50 rows a page, printed by
# ghostscript; the page headings and blank lines are left out by the recipe.
PDF_TEMPLATE = "-------- ------------------------ ------------"


def gen_pdf(work, name, pages):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/e2e"))
    import pdf_support  # noqa: E402  (the tests' PDF printer)
    out = []
    for p in range(pages):
        lines = [f"ACME SUPPLY CO.          GENERAL LEDGER          PAGE {p + 1}", "",
                 "ACCOUNT  DESCRIPTION                    AMOUNT", PDF_TEMPLATE]
        lines += [f"{p * 50 + r:08d} LEDGER LINE {r:<12d} {p * 17.25 + r:12,.2f}"
                  for r in range(50)]
        out.append("\n".join(lines) + "\n")
    text = "REPORT START\n" + "\f".join(out) + "END OF REPORT\n"
    pdf_support.ghostscript_pdf(text, os.path.join(work, f"{name}.pdf"))
    lines = ["[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "",
             "[Table 1]", "ReadStartLine=REPORT START", "ReadStartLineOffset=1",
             "ReadEndLine=END OF REPORT", "ReadEndLineOffset=-1", f"Parsing={PDF_TEMPLATE}",
             "WriteColumn=A", "SkipLine1=ACME SUPPLY CO.", "SkipLine2=DESCRIPTION",
             f"SkipLine3={PDF_TEMPLATE}", "SkipBlankLines=YES"]
    write_lines(os.path.join(work, f"{name}.rcp"), lines)


def store_lines(store):
    yield f"STORE {store:04d} DAILY SALES"
    yield "BUSINESS DATE 12/31/2026"
    yield ""
    yield f"{'ITEM NO':<8} {'DESCRIPTION':<24} {'QTY':>6} {'AMOUNT':>12}"
    yield STORE.template
    total = 0
    for r in range(14):
        k = store * 14 + r
        amount = (k * 7919) % 250000 + 99
        total += amount
        yield f"{k % 100000000:08d} {ITEMS[k % len(ITEMS)]:<24} {1 + k % 40:>6} {money(amount):>12}"
    yield f"{'STORE TOTAL':<41}{money(total):>12}"


def gen_folder(work, name, files):
    """`files` reports of 20 lines in ten sub-folders, and their recipe."""
    top = os.path.join(work, name)
    shutil.rmtree(top, ignore_errors=True)
    size = 0
    for store in range(1, files + 1):
        sub = os.path.join(top, f"day{(store - 1) % 10 + 1:02d}")
        os.makedirs(sub, exist_ok=True)
        size += write_lines(os.path.join(sub, f"store{store:04d}.txt"), store_lines(store))
    write_recipe(os.path.join(work, f"{name}.rcp"),
                 [("ITEM NO", 2, "STORE TOTAL", -1, STORE.template)])
    return size


def sales_lines(rows):
    yield "SUMMIT HOME CENTERS                SALES DETAIL BY LINE"
    yield ""
    heads = ["SKU", "DESCRIPTION", "CATEGORY", "DATE", "QTY", "UOM", "UNIT PRICE", "DISC",
             "AMOUNT", "TAX"]
    yield " ".join(h.ljust(w) if i < 4 or i == 5 else h.rjust(w)
                   for i, (h, w) in enumerate(zip(heads, SALES.widths)))
    yield SALES.template
    for i in range(rows):
        qty = 1 + i % 250
        price = (i * 7919) % 90000 + 99
        disc = (i % 4) * 250
        amount = qty * price * (10000 - disc) // 10000
        tax = amount * 7 // 100
        yield (f"SK{i % 10000000:07d} {ITEMS[i % len(ITEMS)]:<22} "
               f"{CATEGORIES[i % len(CATEGORIES)]:<10} {1 + i % 12:02d}/{1 + i % 28:02d}/2026 "
               f"{qty:>7,} {'EA' if i % 5 else 'BOX':<4} {money(price):>11} "
               f"{disc / 100:>6.2f} {money(amount):>14} {money(tax):>10}")
    yield " " * 80 + "-" * 14
    yield f"{'GRAND TOTAL':<80}{'':>14}"


def gen_sales(work, name, rows):
    report = os.path.join(work, f"{name}.txt")
    size = write_lines(report, sales_lines(rows))
    write_recipe(os.path.join(work, f"{name}.rcp"),
                 [("SKU", 2, "GRAND TOTAL", -2, SALES.template)])
    return size


def cmd_gen(a):
    os.makedirs(a.work, exist_ok=True)
    # A workload already made with the same parameters (a reused BENCH_DIR) is kept.
    stamp = os.path.join(a.work, f".{a.name}.made")
    params = f"{a.kind} {a.size} {a.rows} v1"
    if os.path.exists(stamp) and open(stamp).read() == params:
        return
    if a.kind == "ledger":
        gen_ledger(a.work, a.name, a.size)
    elif a.kind == "paged":
        gen_paged(a.work, a.name, a.size, a.rows)
    elif a.kind == "marked":
        gen_paged(a.work, a.name, a.size, a.rows, marked=True)
    elif a.kind == "folder":
        gen_folder(a.work, a.name, a.size)
    elif a.kind == "sales":
        gen_sales(a.work, a.name, a.size)
    elif a.kind == "pdf":
        gen_pdf(a.work, a.name, a.size)
    elif a.kind == "pages":
        gen_pages(a.work, a.name, a.size)
    elif a.kind == "onetable":
        gen_paged(a.work, a.name, 1, 20)
    with open(stamp, "w") as out:
        out.write(params)


# ---------------------------------------------------------------------------
# Peer programs


AWK_QUOTE = r'''function q(s) {
    if (index(s, "\"")) { gsub(/"/, "\"\"", s); return "\"" s "\"" }
    if (index(s, ",")) return "\"" s "\""
    return s
}
'''


def awk_cut(layout, target=""):
    parts = [f"q(substr($0, {s}, {n}))" for s, n in layout.cuts]
    return "print " + ' "," '.join(parts) + target


def awk_keyed(layout, per_file=False):
    """Tables found as a person would with awk: rows start OFF lines after a
    line holding KEY and end at a line holding STOP. With per_file each input
    gets its own CSV in its own sub-folder of OUTDIR, the tree vok's job with
    sub-folders writes (files made in ten new folders cost the file system
    more than in one)."""
    nr = "FNR" if per_file else "NR"
    text = AWK_QUOTE + 'BEGIN { ORS = "\\r\\n" }\n'
    if per_file:
        text += ('FNR == 1 { if (out != "") close(out); s = 0; n = split(FILENAME, p, "/");\n'
                 '    name = p[n]; sub(/\\.txt$/, ".csv", name); out = OUTDIR "/" p[n - 1] "/" name }\n')
    text += f"!s && index($0, KEY) {{ s = {nr} + OFF; next }}\n"
    text += f"s && {nr} >= s {{ if (index($0, STOP)) {{ s = 0; next }}\n"
    text += "    " + awk_cut(layout, " > out" if per_file else "") + " }\n"
    return text


# The marked-up method: the line after ">>n" is the template; rows run to "<<n".
AWK_MARKED = AWK_QUOTE + r'''BEGIN { ORS = "\r\n" }
/^>>/ {
    getline t; sub(/\r$/, "", t); sub(/ +$/, "", t)
    nf = 0; inf = 0; L = length(t)
    for (i = 1; i <= L; i++) {
        c = substr(t, i, 1)
        if (!inf && c != " ") { nf++; st[nf] = i; inf = 1 }
        else if (inf && c == " ") { en[nf] = i; inf = 0 }
    }
    if (inf) en[nf] = L
    intable = 1; next
}
/^<</ { intable = 0; next }
intable {
    line = q(substr($0, st[1], en[1] - st[1] + 1))
    for (i = 2; i <= nf; i++) line = line "," q(substr($0, st[i], en[i] - st[i] + 1))
    print line
}
'''

def awk_pages():
    """The page-break workload as awk does it: page headers (a form feed and
    the two lines after it), skip texts and blank lines left out, each group's
    fields carried onto the rows after its line. A field cut past the end of
    a line that does not end in a blank gets one, as vok's does."""
    text = AWK_QUOTE + r'''function cut(s, n,   L, v) {
    L = length($0)
    if (s > L + 1) return ""
    v = substr($0, s, n)
    if (s + n - 1 > L && L > 0 && substr($0, L, 1) != " ") v = v " "
    return q(v)
}
BEGIN { RS = "\r\n"; ORS = "\r\n" }
index($0, "LEDGER START") == 1 { on = 1; next }
index($0, "LEDGER END") == 1 { on = 0; next }
!on { next }
header > 0 { header--; next }
/^\f/ { header = 2; next }
/^[ \t\f]*$/ { next }
'''
    for k, (key, templ, _) in enumerate(PAGE_GROUPS, 1):
        fields, pos = [], 0
        for part in templ.split(" "):
            pos += 1
            if part:
                fields.append(pos)
            pos += len(part)
        spans = []
        for i, start in enumerate(fields):
            end = (fields[i + 1] - 1) if i + 1 < len(fields) else len(templ)
            spans.append(f"cut({start}, {end - start + 1})")
        text += f"index($0, \"{key}\") {{ g{k} = " + ' "," '.join(spans) + "; next }\n"
    for skip in PAGE_SKIPS:
        text += f"index($0, \"{skip}\") {{ next }}\n"
    row = ' "," '.join(f"cut({s}, {n})" for s, n in PAGES.cuts)
    groups = ' "," '.join(f"g{k}" for k in range(1, len(PAGE_GROUPS) + 1))
    # Before a group's first line its fields are empty.
    text += "BEGIN { g1 = \",\"; g2 = \",\" }\n"
    text += f"{{ print {row} \",\" {groups} }}\n"
    return text


# The peer of the PDF workload: the rows of pdftotext -layout's text, split
# at blanks (its columns need not line up with the printed ones).
AWK_PDF = AWK_QUOTE + r'''BEGIN { ORS = "\r\n" }
$1 ~ /^[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]$/ && NF == 5 {
    print $1 "," $2 " " $3 " " $4 "," q($5)
}
'''


PANDAS_CSV = '''import sys, pandas as pd
colspecs = {colspecs!r}
df = pd.read_fwf(sys.argv[1], colspecs=colspecs, header=None, skiprows={skip}, nrows={rows},
                 dtype=str, keep_default_na=False)
df.to_csv(sys.argv[2], header=False, index=False)
'''

PANDAS_EXCEL = '''import sys, warnings, pandas as pd
warnings.simplefilter("ignore")
colspecs = {colspecs!r}
df = pd.read_fwf(sys.argv[1], colspecs=colspecs, header=None, skiprows={skip}, nrows={rows},
                 thousands=",", keep_default_na=False)
df.to_excel(sys.argv[2], header=False, index=False, engine=sys.argv[3])
'''


def cmd_programs(a):
    """Writes the peer programs into WORK/programs."""
    d = os.path.join(a.work, "programs")
    os.makedirs(d, exist_ok=True)
    files = {
        "ledger.awk": awk_keyed(LEDGER),
        "paged.awk": awk_keyed(PAGED),
        "store.awk": awk_keyed(STORE, per_file=True),
        "sales.awk": awk_keyed(SALES),
        "marked.awk": AWK_MARKED,
        "pages.awk": awk_pages(),
        "pdf.awk": AWK_PDF,
        "ledger_pandas.py": PANDAS_CSV.format(colspecs=LEDGER.colspecs(), skip=5,
                                              rows=a.ledger_rows),
        "big_pandas.py": PANDAS_CSV.format(colspecs=LEDGER.colspecs(), skip=5,
                                           rows=a.big_rows),
        "xlsx_pandas.py": PANDAS_EXCEL.format(colspecs=SALES.colspecs(), skip=4,
                                              rows=a.xlsx_rows),
        "xls_pandas.py": PANDAS_EXCEL.format(colspecs=SALES.colspecs(), skip=4,
                                             rows=a.xls_rows),
    }
    for name, text in files.items():
        with open(os.path.join(d, name), "w") as out:
            out.write(text)


# ---------------------------------------------------------------------------
# The timed runner. Peak memory comes from GNU time (%M, the child's maximum
# resident set): a child spawned from this Python process would report
# Python's own resident set as its floor. Wall time is taken here, from spawn
# to reap; GNU time adds a few milliseconds of its own, so a job shorter than
# LONG_RUN seconds is timed again by direct runs and only its memory comes
# from GNU time.

LONG_RUN = 2.0


def spawn_once(argv, env, stdin, stdout, stderr):
    actions = [(os.POSIX_SPAWN_OPEN, 0, stdin, os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, stdout, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
               (os.POSIX_SPAWN_OPEN, 2, stderr, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, env, file_actions=actions)
    _, status, _ = os.wait4(pid, 0)
    return time.perf_counter() - start, os.waitstatus_to_exitcode(status)


class Runner:
    def __init__(self, a, argv):
        self.a, self.argv = a, argv
        os.makedirs(a.logs, exist_ok=True)
        self.err = os.path.join(a.logs, f"{a.workload}.{a.tool}.err")
        self.mem = os.path.join(a.logs, f"{a.workload}.{a.tool}.peak")

    def prepare(self):
        for path in self.a.remove or []:
            if os.path.isdir(path):
                shutil.rmtree(path)
            elif os.path.exists(path):
                os.remove(path)
        for path in self.a.mkdir or []:
            os.makedirs(path, exist_ok=True)
        env = dict(os.environ)
        if self.a.vok_home:
            # A fresh program folder for every run: no state carries over.
            os.makedirs(self.a.vok_home, exist_ok=True)
            env["VOK_HOME"] = tempfile.mkdtemp(prefix="home-", dir=self.a.vok_home)
        return env

    def once(self, measure_memory):
        env = self.prepare()
        argv = self.argv
        if measure_memory:
            argv = ["/usr/bin/time", "-f", "%M", "-o", self.mem] + argv
        seconds, code = spawn_once(argv, env, self.a.stdin, self.a.stdout, self.err)
        if self.a.vok_home:
            shutil.rmtree(env["VOK_HOME"], ignore_errors=True)
        if code != 0:
            tail = open(self.err, errors="replace").read()[-2000:]
            sys.stderr.write(f"compare: {self.a.tool} failed on {self.a.workload} "
                             f"(exit status {code}):\n  {' '.join(self.argv)}\n{tail}\n")
            sys.exit(3)
        peak = None
        if measure_memory:
            peak = int(open(self.mem).read().split()[-1]) / 1024.0
        return seconds, peak


def cmd_run(a):
    argv = list(a.cmd)
    if argv and argv[0] == "--":
        argv = argv[1:]
    exe = shutil.which(argv[0])
    if not exe:
        sys.exit(f"compare: {argv[0]} not found")
    argv[0] = exe
    runner = Runner(a, argv)
    seconds, peak = runner.once(True)
    peaks = [peak]
    if seconds < LONG_RUN:
        times = [runner.once(False)[0] for _ in range(a.reps)]
    else:
        times = [seconds]
        for _ in range(a.reps - 1):
            seconds, peak = runner.once(True)
            times.append(seconds)
            peaks.append(peak)
    with open(a.results, "a") as out:
        out.write("\t".join([a.workload, a.tool, f"{statistics.median(times):.6f}",
                             f"{max(peaks):.1f}", str(a.amount), a.unit, str(a.reps),
                             a.label]) + "\n")
    with open(a.results + ".runs", "a") as out:
        out.write(f"{a.workload}\t{a.tool}\t" + " ".join(f"{t:.6f}" for t in times) + "\n")


# ---------------------------------------------------------------------------
# Checks: a fast wrong result must not pass.


def same_bytes(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(1 << 20), fb.read(1 << 20)
            if x != y:
                return False
            if not x:
                return True


def compare_csv(a, b):
    """(rows, fields, difference or None) after undoing CSV quoting."""
    with open(a, newline="", encoding="latin-1") as fa, \
            open(b, newline="", encoding="latin-1") as fb:
        ra, rb = csv.reader(fa), csv.reader(fb)
        rows = fields = 0
        while True:
            x, y = next(ra, None), next(rb, None)
            if x is None and y is None:
                return rows, fields, None
            if x is None or y is None:
                longer = a if y is None else b
                return rows, fields, f"line counts differ: {os.path.basename(longer)} " \
                                     f"has more than {rows} lines"
            rows += 1
            if x != y:
                return rows, fields, f"line {rows} differs: {x!r} vs {y!r}"
            fields = max(fields, len(x))


def check_pair(a, b, mode):
    """A line for the checks file: 'ok|FAIL<TAB>workload<TAB>text'."""
    if not os.path.exists(a) or not os.path.exists(b):
        return False, f"missing output ({a if not os.path.exists(a) else b})"
    if same_bytes(a, b):
        # Identical files: count their lines, and the fields of every line.
        rows, fields = 0, set()
        with open(a, newline="", encoding="latin-1") as f:
            for row in csv.reader(f):
                rows += 1
                fields.add(len(row))
        shape = "/".join(str(n) for n in sorted(fields)) or "0"
        return True, f"{rows:,} lines x {shape} fields, byte-identical"
    rows, fields, diff = compare_csv(a, b)
    if diff:
        return False, diff
    return True, f"{rows:,} lines x {fields} fields, the same after unquoting"


def xlsx_shape(path, sheet=1):
    """Rows and columns of a sheet (the first by default), read from its XML
    without a full parse."""
    with zipfile.ZipFile(path) as z:
        names = sorted((n for n in z.namelist() if re.match(r"xl/worksheets/sheet\d+\.xml$", n)),
                       key=lambda n: int(re.sub(r"\D", "", n)))
        with z.open(names[sheet - 1]) as f:
            rows = cols = 0
            tail = b""
            for chunk in iter(lambda: f.read(1 << 20), b""):
                data = tail + chunk
                rows += data.count(b"<row ")
                for m in re.finditer(rb'<c r="([A-Z]+)\d+"', data):
                    letters = m.group(1)
                    n = 0
                    for ch in letters:
                        n = n * 26 + ch - 64
                    cols = max(cols, n)
                tail = data[-64:]
                rows -= tail.count(b"<row ")
            rows += tail.count(b"<row ")
    return rows, cols


def workbook_rows(path):
    """All rows of the first sheet as lists of values (small workbooks only)."""
    if path.endswith(".xlsx"):
        import openpyxl
        wb = openpyxl.load_workbook(path, read_only=True, data_only=True)
        return [list(r) for r in wb.worksheets[0].iter_rows(values_only=True)]
    import xlrd
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    return [sheet.row_values(i) for i in range(sheet.nrows)]


def same_value(cell, text):
    text = text.strip()
    if cell is None or cell == "":
        return text == ""
    if isinstance(cell, (int, float)):
        try:
            return abs(float(text.replace(",", "")) - cell) < 1e-6 * max(1.0, abs(cell))
        except ValueError:
            return False
    return str(cell).strip() == text


def check_workbook(book, reference_csv, rows, cols, full):
    if not os.path.exists(book):
        return False, f"missing output {book}"
    if not full and book.endswith(".xlsx"):
        r, c = xlsx_shape(book)
        if (r, c) != (rows, cols):
            return False, f"workbook holds {r:,} rows x {c} columns, expected {rows:,} x {cols}"
        return True, f"{r:,} rows x {c} columns in the sheet"
    got = workbook_rows(book)
    got = [r for r in got if any(v not in (None, "") for v in r)]
    with open(reference_csv, newline="") as f:
        want = list(csv.reader(f))
    if len(got) != len(want) or len(got) != rows:
        return False, f"workbook holds {len(got):,} rows, gawk's CSV {len(want):,}, " \
                      f"expected {rows:,}"
    for n, (g, w) in enumerate(zip(got, want), 1):
        g = list(g) + [None] * (len(w) - len(g))
        if not all(same_value(x, y) for x, y in zip(g, w)):
            return False, f"row {n} differs: {g!r} vs {w!r}"
    return True, f"{rows:,} rows x {cols} columns, every cell equal to gawk's fields"


def stored_part(path, name):
    """A part's compressed bytes as they lie in the package."""
    with zipfile.ZipFile(path) as z, open(path, "rb") as f:
        info = z.getinfo(name)
        f.seek(info.header_offset)
        head = f.read(30)
        f.seek(info.header_offset + 30 + int.from_bytes(head[26:28], "little") +
               int.from_bytes(head[28:30], "little"))
        return info.CRC, f.read(info.compress_size)


def check_existing(book, original, rows, cols):
    """Sheet 2 holds the rows written, sheet 1 the same stored bytes as before."""
    part = "xl/worksheets/sheet1.xml"
    if stored_part(book, part) != stored_part(original, part):
        return False, "sheet 1 was rewritten: its stored bytes differ from the workbook's before"
    r, c = xlsx_shape(book, 2)
    if (r, c) != (rows, cols):
        return False, f"sheet 2 holds {r:,} rows x {c} columns, expected {rows:,} x {cols}"
    return True, f"sheet 2 holds {r} rows x {c} columns; sheet 1 kept its stored bytes"


def files_under(top):
    """Every file under `top`, by its path relative to `top`."""
    found = {}
    for root, _, names in os.walk(top):
        for n in names:
            path = os.path.join(root, n)
            found[os.path.relpath(path, top)] = path
    return found


def check_folder(vok_dir, awk_dir, files):
    vok, awk = files_under(vok_dir), files_under(awk_dir)
    if len(vok) != files or len(awk) != files:
        return False, f"vok wrote {len(vok)} files, gawk {len(awk)}, expected {files}"
    lines = 0
    for name, path in awk.items():
        if name not in vok:
            return False, f"vok wrote no {name}"
        rows, _, diff = compare_csv(vok[name], path)
        if diff:
            return False, f"{name}: {diff}"
        lines += rows
    return True, f"{files:,} files, {lines:,} lines, every file the same fields"


def checker_catches(good, reference):
    """The CSV comparison must reject a changed field, a lost line and a
    quoting change that alters a value; it must accept requoting alone."""
    with open(good, newline="", encoding="latin-1") as f:
        lines = f.read().split("\r\n")
    body = [line for line in lines if line]
    quoted = next(i for i, line in enumerate(body) if '"' in line)
    cut = body[:quoted] + [body[quoted].replace('"', "", 2)] + body[quoted + 1:]
    cases = {
        "a changed field": body[:1] + [body[1].replace("0", "9", 1)] + body[2:],
        "a lost line": body[:-1],
        "a field cut in two": cut,
    }
    work = tempfile.mkdtemp(prefix="checker-")
    try:
        for what, rows in cases.items():
            path = os.path.join(work, "bad.csv")
            with open(path, "w", newline="", encoding="latin-1") as out:
                out.write("\r\n".join(rows) + "\r\n")
            if check_pair(path, reference, "csv")[0]:
                return False, f"the comparison let {what} pass"
        # Quoting every field changes the bytes, not the values: that passes.
        path = os.path.join(work, "requoted.csv")
        with open(good, newline="", encoding="latin-1") as f, \
                open(path, "w", newline="", encoding="latin-1") as out:
            csv.writer(out, quoting=csv.QUOTE_ALL, lineterminator="\r\n").writerows(
                csv.reader(f))
        if not check_pair(path, reference, "csv")[0]:
            return False, "the comparison rejected the same fields quoted otherwise"
    finally:
        shutil.rmtree(work)
    return True, ("the comparison catches a changed field, a lost line and a field cut "
                  "in two, and accepts the same fields quoted otherwise")


def cmd_check(a):
    if a.kind == "checker":
        ok, text = checker_catches(a.a, a.b)
    elif a.kind == "csv":
        ok, text = check_pair(a.a, a.b, "csv")
    elif a.kind == "workbook":
        ok, text = check_workbook(a.a, a.b, a.rows, a.cols, a.full)
    elif a.kind == "folder":
        ok, text = check_folder(a.a, a.b, a.rows)
    elif a.kind == "existing":
        ok, text = check_existing(a.a, a.b, a.rows, a.cols)
    with open(a.checks, "a") as out:
        out.write(f"{'ok' if ok else 'FAIL'}\t{a.workload}\t{a.what}: {text}\n")
    if not ok:
        sys.stderr.write(f"compare: CHECK FAILED for {a.workload}: {a.what}: {text}\n")


# ---------------------------------------------------------------------------
# The table


def fmt_seconds(s):
    return f"{s:.3f}" if s >= 1 else f"{s:.4f}"


def fmt_ratio(ratio):
    """Peer time over vok time, said as vok being so many times faster or slower."""
    if ratio is None:
        return ""
    if ratio >= 1:
        return f"{ratio:.1f}x faster"
    slower = 1 / ratio
    return f"{slower:.1f}x slower" if slower < 10 else f"{slower:,.0f}x slower"


def throughput(seconds, amount, unit):
    if unit == "-" or seconds <= 0:
        return "-"
    rate = amount / seconds
    if unit == "MB":
        return f"{rate / 1e6:,.0f} MB/s" if rate >= 1e7 else f"{rate / 1e6:,.1f} MB/s"
    if unit == "cells":
        return f"{rate / 1e6:.2f} M cells/s"
    return f"{rate:,.0f} {unit}/s"


def targets(workload, tool, seconds, peak, amount, unit, ratio):
    """'met'/'NOT met' against the goals in bench/README.md."""
    out = []

    def goal(ok, text):
        out.append(f"{text} {'met' if ok else 'NOT met'}")

    if tool == "vok":
        if workload.startswith("ledger"):
            goal(amount / seconds >= 800e6, ">=800 MB/s")
            goal(peak <= 16, "<=16 MB")
        elif workload == "pages":
            goal(peak <= 16, "<=16 MB")
        elif workload in ("folder", "folder-big"):
            goal(amount / seconds >= 1000, ">=1000 files/s")
        elif workload == "xlsx":
            goal(amount / seconds >= 2e6, ">=2 M cells/s")
            goal(peak <= 96, "<=96 MB")
        elif workload == "existing-xlsx":
            goal(seconds <= 0.1, "<=0.1 s")
            goal(peak <= 32, "<=32 MB")
        elif workload == "xlsx-million":
            goal(amount / seconds >= 2.5e6, ">=2.5 M cells/s")
            goal(peak <= 64, "<=64 MB")
        elif workload == "onetable-xlsx":
            goal(seconds <= 0.005, "<=5 ms")
        elif workload == "paged-800":
            goal(seconds < 0.1, "<100 ms")
        elif workload in ("recipe-5000", "marked-5000"):
            goal(seconds < 1, "<1 s")
        elif workload == "marked-20000":
            goal(peak < 32, "<32 MB")
        elif workload in ("version", "onetable"):
            goal(seconds <= 0.010, "<=10 ms")
        elif workload == "sqlite-ledger":
            goal(amount / seconds >= 500e3, ">=500,000 rows/s")
    elif tool == "sqlite3 .import" and ratio is not None:
        goal(ratio >= 1, "vok no slower")
    elif tool in ("gawk", "mawk") and workload == "marked-20000" and ratio is not None:
        goal(ratio >= 1, "vok no slower")
    elif tool == "gawk" and workload.startswith("ledger") and ratio is not None:
        goal(ratio >= 10, "vok >=10x gawk")
    elif tool == "cat >file" and workload.startswith("ledger") and ratio is not None:
        goal(ratio >= 0.3, "vok >=0.3x cat")
    elif workload in ("pages", "pdf") and ratio is not None:
        goal(ratio >= 1, "vok no slower")
    elif tool == "mawk" and workload in ("folder", "folder-big") and ratio is not None:
        goal(ratio >= 1, "vok >= mawk")
    return ", ".join(out)


def linearity(rows):
    """Added time per added table from the smallest paged report to the
    middle one and from the middle one to the largest: about equal when the
    time grows linearly. Each span covers half the range or more, so that
    it adds several milliseconds: between the two smallest reports alone the
    difference (a few tenths of a millisecond) was smaller than the noise of
    start-up, and its ratio said nothing."""
    paged = sorted((int(w.split("-")[1]), float(s)) for w, t, s, *_ in rows
                   if w.startswith("paged-") and t == "vok")
    if len(paged) < 3:
        return None
    middle = paged[len(paged) // 2]
    (n1, t1), (n2, t2) = paged[0], middle
    (n3, t3), (n4, t4) = middle, paged[-1]
    low = (t2 - t1) / (n2 - n1) * 1000
    high = (t4 - t3) / (n4 - n3) * 1000
    text = (f"paged reports: {low:.3f} ms per added table from {n1} to {n2} tables, "
            f"{high:.3f} ms from {n3} to {n4}")
    if low <= 0 or high <= 0:
        return text + " (too close to tell: the times are mostly start-up)"
    factor = high / low
    verdict = "linear: target met" if factor <= 2 else "grows faster than linear: target NOT met"
    return text + f" ({factor:.1f}x; {verdict})"


def cmd_table(a):
    rows = [line.rstrip("\n").split("\t") for line in open(a.results) if line.strip()]
    vok_time = {w: float(s) for w, t, s, *_ in rows if t == "vok"}
    checks = []
    if a.checks and os.path.exists(a.checks):
        checks = [line.rstrip("\n").split("\t") for line in open(a.checks) if line.strip()]
    failed = {w for status, w, _ in checks if status != "ok"}
    head = ["workload", "tool", "runs", "seconds", "throughput", "peak MB", "vok vs peer",
            "target"]
    table = []
    for workload, tool, seconds, peak, amount, unit, reps, label in rows:
        seconds, peak, amount = float(seconds), float(peak), float(amount)
        ratio = None
        if tool != "vok" and workload in vok_time and vok_time[workload] > 0:
            ratio = seconds / vok_time[workload]
        note = targets(workload, tool, seconds, peak, amount, unit, ratio)
        if tool == "vok" and workload in failed:
            note = "WRONG OUTPUT" + (", " + note if note else "")
        table.append([label, tool, reps, fmt_seconds(seconds), throughput(seconds, amount, unit),
                      f"{peak:.1f}", fmt_ratio(ratio), note])
    widths = [max(len(r[i]) for r in table + [head]) for i in range(len(head))]
    right = {2, 3, 4, 5, 6}

    def line(r):
        cells = [c.rjust(w) if i in right else c.ljust(w) for i, (c, w) in
                 enumerate(zip(r, widths))]
        return "  ".join(cells).rstrip()

    print(line(head))
    print("  ".join("-" * w for w in widths))
    last = None
    for r in table:
        if last is not None and r[0] != last:
            print()
        print(line(r))
        last = r[0]
    print()
    lin = linearity(rows)
    if lin:
        print(lin)
    for status, workload, text in checks:
        print(f"check {'ok  ' if status == 'ok' else 'FAIL'} {workload}: {text}")
    return 1 if failed else 0


# ---------------------------------------------------------------------------


def main():
    p = argparse.ArgumentParser(prog="compare_tools.py")
    sub = p.add_subparsers(dest="command", required=True)

    g = sub.add_parser("gen")
    g.add_argument("kind", choices=["ledger", "paged", "marked", "folder", "sales",
                                    "onetable", "pages", "pdf"])
    g.add_argument("work")
    g.add_argument("--name", required=True)
    g.add_argument("--size", type=int, default=0)
    g.add_argument("--rows", type=int, default=0)

    pr = sub.add_parser("programs")
    pr.add_argument("work")
    for opt in ("ledger-rows", "big-rows", "xlsx-rows", "xls-rows"):
        pr.add_argument("--" + opt, type=int, default=0)

    r = sub.add_parser("run")
    r.add_argument("--results", required=True)
    r.add_argument("--logs", required=True)
    r.add_argument("--workload", required=True)
    r.add_argument("--label", required=True)
    r.add_argument("--tool", required=True)
    r.add_argument("--reps", type=int, default=1)
    r.add_argument("--amount", type=float, default=0)
    r.add_argument("--unit", default="-")
    r.add_argument("--stdin", default="/dev/null")
    r.add_argument("--stdout", default="/dev/null")
    r.add_argument("--vok-home")
    r.add_argument("--remove", action="append")
    r.add_argument("--mkdir", action="append")
    r.add_argument("cmd", nargs=argparse.REMAINDER)

    c = sub.add_parser("check")
    c.add_argument("kind", choices=["csv", "workbook", "folder", "checker", "existing"])
    c.add_argument("--checks", required=True)
    c.add_argument("--workload", required=True)
    c.add_argument("--what", required=True)
    c.add_argument("--rows", type=int, default=0)
    c.add_argument("--cols", type=int, default=0)
    c.add_argument("--full", action="store_true")
    c.add_argument("a")
    c.add_argument("b")

    t = sub.add_parser("table")
    t.add_argument("results")
    t.add_argument("checks", nargs="?")

    a = p.parse_args()
    if a.command == "gen":
        cmd_gen(a)
    elif a.command == "programs":
        cmd_programs(a)
    elif a.command == "run":
        cmd_run(a)
    elif a.command == "check":
        cmd_check(a)
    elif a.command == "table":
        sys.exit(cmd_table(a))


if __name__ == "__main__":
    main()
