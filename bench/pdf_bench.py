#!/usr/bin/env python3
"""A PDF report of many pages, converted, run by hand (never by the tests):

    bench/pdf_bench.py [--pages N] [--runs R] [--work DIR]

Prints a ledger of N pages (default 500, 50 rows a page) to PDF with
ghostscript, then times, median of R runs (default 3):
  library   pdftotext -raw: the PDF library alone extracting the text, the limit
  reader    vok-pdf-text: the character grid rebuilt into a file, as the program
            has it (one pass over the pages; into a pipe it takes two)
  convert   vok -i report.pdf -r recipe -o out.csv: the whole job
and the reader's peak resident size at N/5 and at N pages (flat in the pages:
one page's glyphs are held at a time)."""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "../tests/e2e"))
import pdf_support  # noqa: E402

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../build"))
VOK = os.path.join(BUILD, "vok")
READER = os.path.join(BUILD, "vok-pdf-text")
RECIPE = ("[Header]\nProduct=VOK-B\nFileType=RECIPE\nFileFormat=1.0\n[Table 1]\n"
          "ReadStartLine=ACCOUNT\nReadStartLineOffset=2\nReadEndLine=END OF REPORT\n"
          "ReadEndLineOffset=-1\nParsing=-------- ------------------------ ------------\n"
          "WriteColumn=A\n")


def ledger(pages):
    out = []
    for p in range(pages):
        lines = [f"ACME SUPPLY CO.          GENERAL LEDGER          PAGE {p + 1}", "",
                 "ACCOUNT  DESCRIPTION                    AMOUNT",
                 "-------- ------------------------ ------------"]
        lines += [f"{p * 50 + r:08d} LEDGER LINE {r:<12d} {p * 17.25 + r:12,.2f}"
                  for r in range(50)]
        out.append("\n".join(lines) + "\n")
    return "\f".join(out) + "END OF REPORT\n"


def timed(argv, runs, stdout=None, **kwargs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        with open(stdout or os.devnull, "wb") as out:
            subprocess.run(argv, check=True, stdout=out, **kwargs)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def peak_kb(argv, stdout):
    with open(stdout, "wb") as out:
        done = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], check=True,
                              stdout=out, stderr=subprocess.PIPE, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pages", type=int, default=500)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work")
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="vok-pdf-bench-")
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    small = pdf_support.ghostscript_pdf(ledger(args.pages // 5), os.path.join(work, "small.pdf"))
    pdf = pdf_support.ghostscript_pdf(ledger(args.pages), os.path.join(work, "report.pdf"))
    recipe = os.path.join(work, "ledger.rcp")
    with open(recipe, "w") as f:
        f.write(RECIPE)
    env = dict(os.environ, VOK_HOME=home)
    print(f"{args.pages} pages, {os.path.getsize(pdf):,} bytes, median of {args.runs}")
    print(f"library  {timed(['pdftotext', '-raw', pdf, '-'], args.runs):7.2f} s")
    text = os.path.join(work, "report.txt")
    print(f"reader   {timed([READER, pdf], args.runs, stdout=text):7.2f} s")
    print(f"convert  {timed([VOK, '-q', '-i', pdf, '-r', recipe, '-o', os.path.join(work, 'out.csv')], args.runs, env=env):7.2f} s")
    with open(os.path.join(work, "out.csv")) as f:
        print(f"rows     {sum(1 for _ in f):,}")
    print(f"reader peak {peak_kb([READER, small], text) / 1024:.1f} MB at {args.pages // 5} pages, "
          f"{peak_kb([READER, pdf], text) / 1024:.1f} MB at {args.pages}")


if __name__ == "__main__":
    main()
