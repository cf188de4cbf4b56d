"""Output and log names as long as the file system allows (255 bytes a name):
the real program writes and replaces CSV files, .xls and .xlsx workbooks under
such names, in both command-line syntaxes, leaves no temporary file, and still
removes the temporaries that killed runs left under shortened names."""

import os
import subprocess
import unittest
import zipfile

import openpyxl
import xlrd

from e2e_support import REPORT, VokFolder, recipe


def long_name(length, extension):
    """A name of `length` bytes: two-byte letters as far as they go."""
    stem = "ü" * ((length - len(extension)) // 2)
    stem += "x" * (length - len(extension) - len(stem.encode()))
    name = stem + extension
    assert len(name.encode()) == length
    return name


class LongNames(VokFolder, unittest.TestCase):
    SYNTAX = "linux"
    SWITCHES = {"-i": "/I", "-o": "/O", "-r": "/R", "-l": "/L"}

    def setUp(self):
        self.make_folder("vok-names-")
        self.out = os.path.join(self.dir, "out")
        os.mkdir(self.out)
        self.report = self.write("report.txt", REPORT)
        self.recipe = self.write("good.rcp", recipe())

    def tearDown(self):
        self.remove_folder()

    @staticmethod
    def amount(path):
        """The first row's amount as the output holds it."""
        if path.endswith(".csv"):
            with open(path, encoding="utf-8") as f:
                return f.readline().rstrip("\r\n").split(",", 2)[2]
        if path.endswith(".xls"):
            return xlrd.open_workbook(path).sheet_by_index(0).cell_value(0, 2)
        return openpyxl.load_workbook(path).worksheets[0]["C1"].value

    def test_outputs_and_logs_with_names_up_to_255_bytes_are_written(self):
        # Fault: an output name of 230 bytes or more failed with "File name
        # too long": the temporary file's name was longer than the target's.
        for length in (230, 250, 255):
            for extension in (".csv", ".xls", ".xlsx"):
                out = os.path.join(self.out, long_name(length, extension))
                log = os.path.join(self.dir, long_name(255, ".log"))
                # A new output, then one that replaces it.
                for _ in range(2):
                    code, err = self.vok("-i", self.report, "-r", self.recipe, "-o", out,
                                         "-l", log)
                    self.assertEqual((code, err), (0, ""), (length, extension))
                self.assertIn(self.amount(out), ('" 1,234.50"', 1234.5))
                self.assertEqual([n for n in os.listdir(self.out) if n.startswith(".~")], [])
                os.unlink(out)
        with open(log, encoding="utf-8") as f:
            self.assertEqual(sum("Converted" in line for line in f), 18)

    def test_temporaries_of_killed_runs_under_shortened_names_are_removed(self):
        out = os.path.join(self.out, long_name(250, ".xlsx"))
        self.assertEqual(self.vok("-i", self.report, "-r", self.recipe, "-o", out), (0, ""))
        # A run killed while saving leaves ".~NAME.PID-RAND.tmp" (and the zip
        # library's name, 7 bytes longer, beside it), NAME shortened between
        # characters so that both fit the limit.
        gone = subprocess.Popen(["true"])
        gone.wait()
        room = os.pathconf(self.out, "PC_NAME_MAX") - len(".~.12345678-12345678.tmp.XXXXXX")
        name = os.path.basename(out).encode()[:room].decode(errors="ignore")
        stale = [".~%s.%x-0badc0de.tmp" % (name, gone.pid),
                 ".~%s.%x-0badc0de.tmp.Ab12Cd" % (name, gone.pid)]
        for leftover in stale:
            self.assertLessEqual(len(leftover.encode()), 255)
            with open(os.path.join(self.out, leftover), "wb") as f:
                f.write(b"partial")
        self.assertEqual(self.vok("-i", self.report, "-r", self.recipe, "-o", out), (0, ""))
        self.assertEqual([n for n in os.listdir(self.out) if n.startswith(".~")], [])
        with zipfile.ZipFile(out) as z:
            self.assertIsNone(z.testzip())


class LongNamesSwitchSyntax(LongNames):
    SYNTAX = "switch"


if __name__ == "__main__":
    unittest.main()
