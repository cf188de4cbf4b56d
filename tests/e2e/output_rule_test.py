"""The output rule, run as users run it: warnings and notices leave a sound
output that replaces the earlier one; an error message keeps the earlier one
byte for byte; an output that is a link to a regular file is written through
the link, which stays a link. Both command-line syntaxes."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import REPORT, FolderFiles, recipe  # noqa: E402

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
VOK = os.path.join(BUILD, "vok")
SWITCHES = {"-i": "/I", "-o": "/O", "-r": "/R"}



class OutputRule(FolderFiles, unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-rule-")
        self.home = self.path("home")
        os.mkdir(self.home)
        self.report = self.write("report.txt", REPORT)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def vok(self, syntax, *args):
        if syntax == "switch":
            args = [SWITCHES.get(a, a.replace("/", "\\")) for a in args]
        done = subprocess.run([VOK, *args], env={**os.environ, "VOK_HOME": self.home},
                              capture_output=True, check=False)
        return done.returncode, done.stderr.decode()

    def test_warnings_leave_a_sound_output_that_replaces_the_earlier_one(self):
        # Table 2 is not found (a warning): table 1 is written all the same.
        second = recipe().replace("[Table 1]", "[Table 2]").replace(
            "ReadStartLine=ACCOUNT NO", "ReadStartLine=NOWHERE").replace(
            "Parsing=---------- ------------------- ---------", "Parsing==")
        rules = self.write("two.rcp", recipe() + second[second.index("[Table 2]"):])
        code, err = self.vok("linux", "-i", self.report, "-r", self.write("one.rcp", recipe()),
                             "-o", self.path("table-1.csv"))
        self.assertEqual(code, 0, err)
        for syntax in ("linux", "switch"):
            with self.subTest(syntax=syntax):
                self.write("out.csv", "earlier\r\n")
                code, err = self.vok(syntax, "-i", self.report, "-r", rules, "-o",
                                     self.path("out.csv"))
                self.assertEqual(code, 1, err)
                self.assertIn("Table 2", err)
                self.assertNotIn("was not written", err)
                self.assertEqual(self.read("out.csv"), self.read("table-1.csv"))

    def test_an_error_after_a_sound_table_keeps_the_earlier_output(self):
        # Table 2 runs past the report's end: table 1 was written, but the run
        # showed an error, so the earlier files stay byte for byte.
        second = recipe(end_offset="9").replace("[Table 1]", "[Table 2]")
        rules = self.write("two.rcp", recipe() + second[second.index("[Table 2]"):])
        for kind in ("csv", "xlsx", "xls"):
            earlier = self.path("earlier." + kind)
            code, err = self.vok("linux", "-i", self.report, "-r", self.write(
                "one.rcp", recipe()), "-o", earlier)
            self.assertEqual(code, 0, err)
            before = self.read("earlier." + kind)
            for syntax in ("linux", "switch"):
                with self.subTest(kind=kind, syntax=syntax):
                    code, err = self.vok(syntax, "-i", self.report, "-r", rules, "-o", earlier)
                    self.assertEqual(code, 1, err)
                    self.assertIn("Table 2: its last line (17) lies beyond the end", err)
                    self.assertIn("did not complete; %s was not written" % earlier, err)
                    self.assertEqual(self.read("earlier." + kind), before)
                    self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".~")],
                                     [])

    def test_a_link_to_a_regular_file_is_written_through_and_stays_a_link(self):
        os.mkdir(self.path("real"))
        rules = self.write("r.rcp", recipe())
        for kind in ("csv", "xlsx"):
            for syntax in ("linux", "switch"):
                with self.subTest(kind=kind, syntax=syntax):
                    target = self.path("real/ledger." + kind)
                    link = self.path("ledger-%s.%s" % (syntax, kind))
                    if os.path.exists(target):
                        os.remove(target)
                    os.symlink(target, link)
                    # A dangling link first: its target is made.
                    for _ in range(2):
                        code, err = self.vok(syntax, "-i", self.report, "-r", rules, "-o", link)
                        self.assertEqual(code, 0, err)
                        self.assertTrue(os.path.islink(link))
                        self.assertEqual(os.readlink(link), target)
                        self.assertTrue(os.path.isfile(target))
                    if kind == "csv":
                        self.assertIn(b"Cash in bank", self.read("real/ledger.csv"))
                    self.assertEqual([n for n in os.listdir(self.path("real"))
                                      if n.startswith(".~")], [])


if __name__ == "__main__":
    unittest.main()
