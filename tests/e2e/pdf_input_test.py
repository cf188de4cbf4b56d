"""Reports printed to PDF convert as their text does: for every bundled
example and for two PDF generators (Qt's PDF writer, ghostscript), the text
vok rebuilds from the PDF (--pdf-text) is the printed text line for line, and
the CSV and .xlsx from the PDF equal those from the text. Bad PDFs (a scan,
a proportional font, a password, a damaged file) get their message and end
their file only; a reader that crashes ends only its report."""

import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import pdf_support  # noqa: E402

BUILD = pdf_support.BUILD
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
VOK = os.path.join(BUILD, "vok")
EXAMPLES = os.path.join(SOURCE, "examples")
DATA = os.path.join(SOURCE, "tests", "data", "pdf")

# (report, recipe or None for the marks in the report)
JOBS = [
    ("trial-balance.txt", "trial-balance.rcp"),
    ("trial-balance-marked.txt", None),
    ("general-ledger.txt", "general-ledger.rcp"),
    ("vendor-balances-tabs.txt", "vendor-balances-tabs.rcp"),
]


def run(home, *argv):
    return subprocess.run([VOK, *argv], env=dict(os.environ, VOK_HOME=home),
                          capture_output=True)


def xlsx_cells(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    return [[cell.value for cell in row] for row in book.worksheets[0].iter_rows()]


class PdfInput(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-pdf-")
        self.home = os.path.join(self.dir, "home")
        os.mkdir(self.home)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def convert(self, report, recipe, output):
        argv = ["-i", report, "-o", output] + (["-r", recipe] if recipe else [])
        return run(self.home, *argv)

    def test_examples_convert_from_pdf_as_from_their_text(self):
        for report, recipe in JOBS:
            with open(os.path.join(EXAMPLES, report), encoding="latin-1") as f:
                source = f.read()
            # Two pages, blank lines and all: a form feed before the middle line.
            lines = source.splitlines(keepends=True)
            source = "".join(lines[:len(lines) // 2]) + "\f" + "".join(lines[len(lines) // 2:])
            text = pdf_support.printed(source)
            with open(self.path("text.txt"), "w", encoding="latin-1", newline="") as f:
                f.write(text)
            for generator, make in pdf_support.GENERATORS.items():
                with self.subTest(report=report, generator=generator):
                    # Any name: the content tells a PDF.
                    pdf = make(source, self.path(generator + ".report"))
                    rebuilt = run(self.home, "--pdf-text", pdf)
                    self.assertEqual(rebuilt.returncode, 0, rebuilt.stderr)
                    self.assertEqual(rebuilt.stdout.decode("latin-1"), text)
                    recipe_path = os.path.join(EXAMPLES, recipe) if recipe else None
                    # The preview reads the rebuilt text as the job does.
                    preview = ["--preview", "-r", recipe_path] if recipe else ["--preview"]
                    shown = run(self.home, *preview, "-i", pdf)
                    expected = run(self.home, *preview, "-i", self.path("text.txt"))
                    self.assertEqual(shown.returncode, expected.returncode, shown.stderr)
                    self.assertEqual(shown.stdout.replace(pdf.encode(), b"REPORT"),
                                     expected.stdout.replace(self.path("text.txt").encode(),
                                                             b"REPORT"))
                    for kind in ("csv", "xlsx"):
                        from_text = self.convert(self.path("text.txt"), recipe_path,
                                                 self.path("text." + kind))
                        from_pdf = self.convert(pdf, recipe_path, self.path("pdf." + kind))
                        self.assertEqual(from_pdf.returncode, 0, from_pdf.stderr)
                        self.assertEqual(from_pdf.returncode, from_text.returncode)
                        if kind == "csv":
                            with open(self.path("text.csv"), "rb") as a, \
                                    open(self.path("pdf.csv"), "rb") as b:
                                expected = a.read()
                                self.assertTrue(expected)
                                self.assertEqual(b.read(), expected)
                        else:
                            self.assertEqual(xlsx_cells(self.path("pdf.xlsx")),
                                             xlsx_cells(self.path("text.xlsx")))

    def test_three_pages_rebuild_to_the_lines_checked_by_hand(self):
        rebuilt = run(self.home, "--pdf-text", os.path.join(DATA, "three-pages.pdf"))
        self.assertEqual(rebuilt.returncode, 0, rebuilt.stderr)
        self.assertEqual(rebuilt.stderr, b"")
        self.assertEqual(rebuilt.stdout, (
            b"ACME SUPPLY                    STOCK REPORT            PAGE 1\n"
            b"ITEM    DESCRIPTION          QTY\n"
            b"\n"
            b"A-100   BOLTS, 10 MM          40\n"
            b"\n"
            b"\n"
            b"A-200   NUTS                   7\n"
            b"\fACME SUPPLY                    STOCK REPORT            PAGE 2\n"
            b"    B-300   WASHERS          1,200\n"
            b"\fACME SUPPLY                    STOCK REPORT            PAGE 3\n"
            b"                          TOTAL  1,247\n"))

    def test_a_later_page_reaching_further_left_keeps_the_indent_of_those_before(self):
        # Page 1 is indented most, page 2 less, page 3 not at all: every page
        # keeps its indent whether the reader writes into the program's file
        # (placed in one pass, then again from page 1) or into a pipe (two
        # passes), and the CSV is the text's.
        source = ("    STOCK REPORT\n    A-100   BOLTS      40\n"
                  "\f  A-200   NUTS        7\n\fTOTAL              47\n")
        text = pdf_support.printed(source)
        recipe = self.path("stock.rcp")
        with open(recipe, "w") as f:
            f.write("[Header]\nProduct=VOK-B\nFileType=RECIPE\nFileFormat=1.0\n[Table 1]\n"
                    "ReadStartLine=STOCK REPORT\nReadStartLineOffset=1\nReadEndLine=TOTAL\n"
                    "ReadEndLineOffset=-1\nParsing=  -----   -----   -------\nWriteColumn=A\n"
                    "SkipBlankLines=YES\n")
        with open(self.path("stock.txt"), "w", encoding="latin-1", newline="") as f:
            f.write(text)
        self.assertEqual(self.convert(self.path("stock.txt"), recipe,
                                      self.path("text.csv")).returncode, 0)
        for generator, make in pdf_support.GENERATORS.items():
            with self.subTest(generator=generator):
                pdf = make(source, self.path(generator + ".pdf"))
                rebuilt = run(self.home, "--pdf-text", pdf)
                self.assertEqual(rebuilt.returncode, 0, rebuilt.stderr)
                self.assertEqual(rebuilt.stdout.decode("latin-1"), text)
                piped = subprocess.run([os.path.join(BUILD, "vok-pdf-text"), pdf],
                                       capture_output=True)
                self.assertEqual(piped.returncode, 0)
                self.assertEqual(piped.stdout.decode("latin-1"), text)
                paths = [pdf, recipe, self.path("pdf.csv")]
                switched = [p.replace("/", "\\") for p in paths]
                for syntax in ([a for pair in zip(["-i", "-r", "-o"], paths) for a in pair],
                               [a for pair in zip(["/I", "/R", "/O"], switched) for a in pair]):
                    converted = run(self.home, *syntax)
                    self.assertEqual(converted.returncode, 0, converted.stderr)
                    with open(self.path("pdf.csv"), "rb") as a, \
                            open(self.path("text.csv"), "rb") as b:
                        self.assertEqual(a.read(), b.read())

    def test_a_drop_shadow_is_read_once(self):
        # Each line drawn again half a point right and a point and a quarter
        # lower: further than a line's own baselines may differ (a quarter
        # of the pitch), so only knowing the shadow keeps it off a line of
        # its own.
        with open(os.path.join(EXAMPLES, "trial-balance.txt"), encoding="latin-1") as f:
            source = f.read()
        pdf = pdf_support.ghostscript_pdf(source, self.path("shadow.pdf"), shadow=(0.5, -1.25))
        rebuilt = run(self.home, "--pdf-text", pdf)
        self.assertEqual(rebuilt.returncode, 0, rebuilt.stderr)
        self.assertEqual(rebuilt.stdout.decode("latin-1"), pdf_support.printed(source))

    def test_bad_pdfs_end_their_own_file_and_the_folder_job_goes_on(self):
        inputs = self.path("in")
        os.mkdir(inputs)
        with open(os.path.join(EXAMPLES, "trial-balance.txt"), encoding="latin-1") as f:
            source = f.read()
        pdf_support.qt_pdf(source, os.path.join(inputs, "a-good.pdf"))
        pdf_support.qt_pdf(source, os.path.join(inputs, "b-scan.pdf"), "--image")
        pdf_support.ghostscript_pdf(source, os.path.join(inputs, "c-locked.pdf"),
                                    user_password="open", owner_password="own")
        pdf_support.ghostscript_pdf(source, os.path.join(inputs, "d-owner-only.pdf"),
                                    owner_password="own")
        with open(os.path.join(inputs, "e-damaged.pdf"), "wb") as f:
            f.write(b"%PDF-1.4\n" + os.urandom(4000))
        outputs = self.path("out")
        recipe = os.path.join(EXAMPLES, "trial-balance.rcp")
        for argv in (["-i", os.path.join(inputs, "*.pdf"), "-r", recipe, "-o",
                      os.path.join(outputs, "*.csv")],
                     ["/I", os.path.join(inputs, "*.pdf").replace("/", "\\"), "/R",
                      recipe.replace("/", "\\"), "/O",
                      os.path.join(outputs, "*.csv").replace("/", "\\")]):
            with self.subTest(syntax=argv[0]):
                shutil.rmtree(outputs, ignore_errors=True)
                os.mkdir(outputs)
                result = run(self.home, *argv)
                err = result.stderr.decode()
                self.assertEqual(result.returncode, 1, err)
                self.assertIn("b-scan.pdf holds no text layer: it may be a scanned image", err)
                self.assertIn("c-locked.pdf is encrypted and needs a password to open", err)
                self.assertIn("Cannot read the PDF report " + os.path.join(inputs, "e-damaged.pdf"),
                              err)
                self.assertEqual(sorted(os.listdir(outputs)), ["a-good.csv", "d-owner-only.csv"])
                with open(os.path.join(outputs, "a-good.csv"), "rb") as a, \
                        open(os.path.join(outputs, "d-owner-only.csv"), "rb") as d:
                    self.assertEqual(a.read(), d.read())

    def test_proportional_text_is_a_notice_and_still_converts(self):
        with open(os.path.join(EXAMPLES, "general-ledger.txt"), encoding="latin-1") as f:
            source = f.read()
        pdf = pdf_support.qt_pdf(source, self.path("prop.pdf"), "--font", "DejaVu Sans")
        rebuilt = run(self.home, "--pdf-text", pdf)
        self.assertEqual(rebuilt.returncode, 0)
        self.assertIn(b"prop.pdf is not set in a fixed-pitch font: columns may not line up",
                      rebuilt.stderr)
        self.assertIn(b"GENERAL", rebuilt.stdout)

    def test_a_crashing_pdf_reader_ends_only_its_report(self):
        # A copy of the program with a reader beside it that dies as the PDF
        # library would on a hostile file.
        program = self.path("bin")
        os.mkdir(program)
        shutil.copy(VOK, program)
        reader = os.path.join(program, "vok-pdf-text")
        with open(reader, "w") as f:
            f.write("#!/bin/sh\nkill -SEGV $$\n")
        os.chmod(reader, stat.S_IRWXU)
        inputs = self.path("in")
        os.mkdir(inputs)
        shutil.copy(os.path.join(EXAMPLES, "trial-balance.txt"), os.path.join(inputs, "a.txt"))
        pdf_support.ghostscript_pdf("X\n", os.path.join(inputs, "b.txt"))
        os.mkdir(self.path("out"))
        result = subprocess.run(
            [os.path.join(program, "vok"), "-i", os.path.join(inputs, "*.txt"), "-r",
             os.path.join(EXAMPLES, "trial-balance.rcp"), "-o", self.path("out/*.csv")],
            env=dict(os.environ, VOK_HOME=self.home), capture_output=True)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"b.txt: the PDF library failed on it (Segmentation fault)", result.stderr)
        self.assertEqual(os.listdir(self.path("out")), ["a.csv"])

    def test_a_preview_rebuilds_the_text_of_a_pdf_once(self):
        # A copy of the program whose reader notes each run, then reads.
        program = self.path("bin")
        os.mkdir(program)
        shutil.copy(VOK, program)
        runs = self.path("runs")
        reader = os.path.join(program, "vok-pdf-text")
        with open(reader, "w") as f:
            f.write(f"#!/bin/sh\necho run >> {runs}\nexec {os.path.join(BUILD, 'vok-pdf-text')} \"$@\"\n")
        os.chmod(reader, stat.S_IRWXU)
        with open(os.path.join(EXAMPLES, "general-ledger.txt"), encoding="latin-1") as f:
            pdf = pdf_support.ghostscript_pdf(f.read(), self.path("gl.pdf"))
        result = subprocess.run([os.path.join(program, "vok"), "--preview", "-i", pdf, "-r",
                                 os.path.join(EXAMPLES, "general-ledger.rcp")],
                                env=dict(os.environ, VOK_HOME=self.home), capture_output=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"SALES - HARDWARE", result.stdout)
        with open(runs) as f:
            self.assertEqual(f.read(), "run\n")

    def test_the_rebuilt_text_is_gone_after_the_job(self):
        pdf = pdf_support.ghostscript_pdf("LINE\n", self.path("r.pdf"))
        tmp = self.path("tmp")
        os.mkdir(tmp)
        result = subprocess.run([VOK, "-i", pdf, "-r", os.path.join(EXAMPLES, "trial-balance.rcp"),
                                 "-o", self.path("r.csv")],
                                env=dict(os.environ, VOK_HOME=self.home, TMPDIR=tmp),
                                capture_output=True)
        self.assertEqual(result.returncode, 1)  # its keys are not in it
        self.assertIn(b"Can not find ReadStartLine", result.stderr)
        self.assertEqual(os.listdir(tmp), [])

    def test_ctrl_c_while_a_pdf_is_read_stops_the_reader_and_leaves_nothing(self):
        page = "".join(f"{n:06d} LEDGER LINE {n:>10,}.00\n" for n in range(60))
        pdf = pdf_support.ghostscript_pdf("\f".join([page] * 400), self.path("big.pdf"))
        tmp = self.path("tmp")
        os.mkdir(tmp)
        job = subprocess.Popen([VOK, "-i", pdf, "-r", os.path.join(EXAMPLES, "trial-balance.rcp"),
                                "-o", self.path("big.csv")],
                               env=dict(os.environ, VOK_HOME=self.home, TMPDIR=tmp),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               start_new_session=True)
        # Ctrl+C on a terminal reaches every process of the job, once the reader runs.
        reader = None
        deadline = time.monotonic() + 60
        while reader is None and time.monotonic() < deadline and job.poll() is None:
            reader = next((pid for pid in os.listdir("/proc") if pid.isdigit() and
                           _session_member(pid, job.pid, "vok-pdf-text")), None)
            time.sleep(0.01)
        self.assertIsNotNone(reader, "the reader never ran")
        os.killpg(job.pid, signal.SIGINT)
        _, err = job.communicate(timeout=60)
        # An interrupt ends with 128 + SIGINT, and says what it kept.
        self.assertEqual(job.returncode, 130, err)
        self.assertIn(b"Stopped: ", err)
        self.assertIn(b"big.pdf was not read: the job was stopped.", err)
        self.assertNotIn(b"failed on it", err)
        self.assertFalse(os.path.exists(self.path("big.csv")))
        self.assertEqual(os.listdir(tmp), [])
        self.assertFalse(os.path.exists("/proc/" + reader))


def _session_member(pid, session, name):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        with open(f"/proc/{pid}/comm") as f:
            comm = f.read().strip()
    except OSError:
        return False
    # After the name: state, ppid, pgrp, session.
    return int(fields[3]) == session and comm == name


if __name__ == "__main__":
    unittest.main()
