"""Regression tests for the faults of "nothing lost, nothing silent": each runs
the real program the way the user did, names the fault it guards, and checks
the exit status, the message and that what the user had before is still
there byte for byte. Every test runs in both command-line syntaxes; the
workbooks are read back with openpyxl and xlrd."""

import errno
import glob
import os
import pwd
import shutil
import stat
import struct
import subprocess
import tempfile
import threading
import unittest
import zipfile

import openpyxl
import xlrd

from e2e_support import BUILD, REPORT, SOURCE, VOK, VokFolder, crlf, recipe, wait_until

EXAMPLES = os.path.abspath(os.path.join(SOURCE, "examples"))


def long_format(*sections):
    return crlf("[Header]", "Product=VOK", "FileType=EXPORT SPEC", "FileFormat=1.1",
                "[General]", "Name=", *sections)


TABLE_1 = ("[Table 1]", "ReadStartLine=ACCOUNT NO", "ReadStartLineOffset=2",
           "ReadEndLine=TOTALS", "ReadEndLineOffset=-1", "TotalColumns=1",
           "[Table 1 Col 1]", "ReadColumnStart=1", "ReadColumnEnd=10", "WriteColumn=A")


# A POSIX access list as the kernel stores it: its owner, user 4343 and its
# group may read and write, others nothing (mode 0660).
ACCESS_LIST = struct.pack("<I", 2) + b"".join(
    struct.pack("<HHI", tag, permissions, who) for tag, permissions, who in
    ((0x01, 6, 0xFFFFFFFF), (0x02, 6, 4343), (0x04, 6, 0xFFFFFFFF), (0x10, 6, 0xFFFFFFFF),
     (0x20, 0, 0xFFFFFFFF)))


class Faults(VokFolder, unittest.TestCase):
    def setUp(self):
        self.make_folder("vok-rel-")
        self.mounts = []

    def tearDown(self):
        for mount in reversed(self.mounts):
            subprocess.run(["umount", mount], check=False)
        self.remove_folder()

    def temporaries(self, folder=None):
        return [n for n in os.listdir(folder or self.dir) if n.startswith(".~")]

    def earlier_outputs(self):
        """A CSV, an .xlsx and an .xls written by a good run: what a failed
        run must leave as it was."""
        report = self.write("report.txt", REPORT)
        good = self.write("good.rcp", recipe())
        outputs = {}
        for name in ("out.csv", "out.xlsx", "out.xls"):
            code, err = self.vok("-i", report, "-r", good, "-o", self.path(name))
            self.assertEqual((code, err), (0, ""), name)
            outputs[name] = self.read(name)
        return report, outputs

    def tmpfs(self, name, size):
        """A small file system of its own (root only), to fill up."""
        folder = self.path(name)
        os.mkdir(folder)
        if os.geteuid() != 0 or subprocess.run(
                ["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", folder],
                stderr=subprocess.DEVNULL, check=False).returncode != 0:
            self.skipTest("a small file system cannot be mounted here")
        self.mounts.append(folder)
        return folder

    @staticmethod
    def fill(folder):
        """Fills the file system up to its last block."""
        fd = os.open(os.path.join(folder, "filler"), os.O_WRONLY | os.O_CREAT)
        try:
            while os.write(fd, b"x" * 4096) > 0:
                pass
        except OSError:
            pass
        finally:
            os.close(fd)

    def test_fault1_output_that_is_the_input_or_the_recipe_is_refused(self):
        # Fault 1: "-i same.csv -o same.csv" emptied the report before reading
        # it, and "-r rr.csv -o rr.csv" overwrote the recipe with status 0.
        report = self.write("same.csv", REPORT)
        rules = self.write("rr.csv", recipe())
        os.link(report, self.path("hard.csv"))
        os.symlink(rules, self.path("link.csv"))
        for args, other in [(("-i", report, "-r", rules, "-o", report), report),
                            (("-i", report, "-r", rules, "-o", rules), rules),
                            (("-i", report, "-r", rules, "-o", self.path("hard.csv")), report),
                            (("-i", report, "-r", rules, "-o", self.path("link.csv")), rules)]:
            code, err = self.vok(*args)
            self.assertEqual(code, 1, args)
            self.assertIn("is the " + ("input" if other == report else "recipe") + " file", err)
            self.assertIn(other, err)
            self.assertEqual(self.read("same.csv"), REPORT.encode())
            self.assertEqual(self.read("rr.csv"), recipe().encode())
        # The log is appended to: naming the report as the log would change it.
        code, err = self.vok("-i", report, "-r", rules, "-o", self.path("x.csv"), "-l", report)
        self.assertEqual(code, 1)
        self.assertIn("The log file " + report + " is the input file", err)
        self.assertEqual(self.read("same.csv"), REPORT.encode())
        self.assertFalse(os.path.exists(self.path("x.csv")))

    def test_fault2_and_3_a_job_that_writes_no_table_keeps_the_earlier_output(self):
        # Fault 2: a job whose key text is missing turned a 2,001-byte CSV
        # into 0 bytes. Fault 3: the same over a workbook cleared sheet 1 and
        # saved it. Nothing is saved, and no empty file appears either.
        report, outputs = self.earlier_outputs()
        bad = self.write("bad.rcp", recipe(start="NOWHERE"))
        for name, before in outputs.items():
            code, err = self.vok("-i", report, "-r", bad, "-o", self.path(name))
            self.assertEqual(code, 1, name)
            self.assertIn("Can not find ReadStartLine: NOWHERE", err)
            self.assertIn("No table was written to " + self.path(name) + ".", err)
            self.assertEqual(self.read(name), before, name)
            code, err = self.vok("-i", report, "-r", bad, "-o", self.path("new-" + name))
            self.assertEqual(code, 1)
            self.assertFalse(os.path.exists(self.path("new-" + name)), name)
        self.assertEqual(self.temporaries(), [])

    def test_fault3_a_run_cut_short_keeps_the_earlier_output(self):
        # Fault 3: a run that a failure ended halfway (here the second table's
        # end text is missing) saved its partial output over the earlier one.
        report, outputs = self.earlier_outputs()
        cut = self.write("cut.rcp", recipe() + crlf(
            "[Table 2]", "ReadStartLine=ACCOUNT NO", "ReadEndLine=NOWHERE", "Parsing=----",
            "WriteColumn=A"))
        for name, before in outputs.items():
            code, err = self.vok("-i", report, "-r", cut, "-o", self.path(name))
            self.assertEqual(code, 1, name)
            self.assertIn("Can not find ReadEndLine: NOWHERE", err)
            self.assertIn("did not complete; " + self.path(name) + " was not written", err)
            self.assertEqual(self.read(name), before, name)
        self.assertEqual(self.temporaries(), [])

    def test_fault4_jobs_that_wrote_nothing_say_why(self):
        # Fault 4: each of these ended with status 0 and no word.
        report = self.write("report.txt", REPORT)
        self.write("earlier.csv", "earlier output\r\n")
        recipes = [
            (b"", "holds no table section"),
            (os.urandom(3000).replace(b"[", b"("), "holds no table section"),
            (b"[Header]\r\n", "holds no table section"),
            (b"x" * (10 << 20), "line 1 is longer than 1 MiB (1,048,576 bytes)"),
            (recipe(start_offset="-99999").encode(), "lies before the start of the report"),
            (long_format().encode(), "holds no table section"),
            (long_format("[Consolidate 1]", "Table=99", "ReadAccountsColumn=1",
                         "TotalDepartments=1").encode(), "holds no table section"),
        ]
        for content, message in recipes:
            rules = self.write("r.rcp", content)
            code, err = self.vok("-i", report, "-r", rules, "-o", self.path("earlier.csv"))
            self.assertEqual(code, 1, message)
            self.assertIn(message, err)
            self.assertIn("No table was written to " + self.path("earlier.csv"), err)
            self.assertEqual(self.read("earlier.csv"), b"earlier output\r\n")
        marked = [
            ("", "holds no marked table: no line begins with >>1"),
            (crlf(">>1", "-----", "a"), "Line 1 of the report {}: the table marked >>1 has no end"),
            (crlf("<<1", ">>1", "-----", "a"), "Line 1 of the report {}: the end mark <<1 has no"),
            (crlf("x", ">>1"), "Line 2 of the report {}: the mark >>1 is not followed by a "
                               "template line"),
            (crlf(">>1", "-----", "a", "<<2", ">>2", "-----", "b", "<<2"),
             "Line 4 of the report {}: the end mark should read <<1"),
        ]
        for content, message in marked:
            text = self.write("marked.txt", content)
            code, err = self.vok("-i", text, "-o", self.path("earlier.csv"))
            self.assertEqual(code, 1, message)
            self.assertIn(message.format(text), err)
            self.assertIn("No table was written to " + self.path("earlier.csv"), err)
            self.assertEqual(self.read("earlier.csv"), b"earlier output\r\n")

    def test_fault5_column_counts_are_checked_against_the_sections(self):
        # Fault 5: TotalColumns=2147483647 asked for 257 GB ("unexpected
        # failure"); 1000000 without column sections printed a million messages.
        report = self.write("report.txt", REPORT)
        self.write("out.csv", "earlier output\r\n")
        for count in ("2147483647", "1000000"):
            spec = self.write("big.t2x", long_format(
                "[Table 1]", "ReadStartLine=ACCOUNT NO", "ReadStartLineOffset=2",
                "ReadEndLine=TOTALS", "ReadEndLineOffset=-1", "TotalColumns=" + count,
                "[Table 1 Col 1]", "ReadColumnStart=1", "ReadColumnEnd=10", "WriteColumn=A"))
            code, err = self.vok("-i", report, "-r", spec, "-o", self.path("out.csv"))
            self.assertEqual(code, 1)
            self.assertNotIn("unexpected failure", err)
            self.assertEqual(err.count("TotalColumns"), 1, err[:500])
            self.assertIn("TotalColumns is " + count + ", but the export-specs file holds no "
                          "section [Table 1 Col 2]!", err)
            # A table whose section is wrong is not run: it would write what
            # the file does not say over the earlier output.
            self.assertIn("Table 1 of " + spec + " was not run: its section has errors", err)
            self.assertIn("No table was written to", err)
            self.assertEqual(self.read("out.csv"), b"earlier output\r\n")
        # A consolidation's department count is checked the same way.
        spec = self.write("con.t2x", long_format(*TABLE_1, "[Consolidate 1]", "Table=1",
                                                 "ReadAccountsColumn=1",
                                                 "TotalDepartments=2147483647"))
        code, err = self.vok("-i", report, "-r", spec, "-o", self.path("out.xlsx"))
        self.assertEqual(code, 1)
        self.assertLess(err.count("\n"), 5, err[:500])

    def test_fault6_a_log_that_cannot_be_written_fails_the_job(self):
        # Fault 6: "-l" naming a folder said so but ended with status 0.
        report = self.write("report.txt", REPORT)
        rules = self.write("r.rcp", recipe())
        code, err = self.vok("-i", report, "-r", rules, "-o", self.path("out.csv"),
                             "-l", self.home + "/")
        self.assertEqual(code, 1)
        self.assertIn("The log file %s/ is a folder; nothing was converted." % self.home, err)
        full = self.tmpfs("full", "64k")
        self.fill(full)
        code, err = self.vok("-i", report, "-r", rules, "-o", self.path("out.csv"),
                             "-l", os.path.join(full, "vok.log"))
        self.assertEqual(code, 1)
        self.assertIn("No space left on device", err)

    def test_fault7_the_sheet_target_chooses_the_sheet(self):
        # Fault 7: "-w 2" was read and ignored: the job wrote into sheet 1 and
        # cleared it.
        report = self.write("report.txt", REPORT)
        rules = self.write("r.rcp", recipe())
        for name in ("book.xlsx", "book.xls"):
            out = self.path(name)
            code, err = self.vok("-i", report, "-r", rules, "-o", out)
            self.assertEqual((code, err), (0, ""))
            code, err = self.vok("-i", report, "-r", self.write("one.rcp", recipe(
                parsing="----------")), "-o", out, "-w", "2")
            self.assertEqual((code, err), (0, ""))
            code, err = self.vok("-i", report, "-r", rules, "-o", out, "-w", "5")
            self.assertEqual((code, err), (0, ""))
            code, err = self.vok("-i", report, "-r", rules, "-o", out, "-w", "Trial data")
            self.assertEqual((code, err), (0, ""))
            code, err = self.vok("-i", report, "-r", rules, "-o", out, "-w", "TRIAL DATA")
            self.assertEqual((code, err), (0, ""))
            sheets = self.sheets(out)
            self.assertEqual([s for s, _ in sheets],
                             ["Sheet1", "Sheet2", "Sheet3", "Sheet4", "Sheet5", "Trial data"])
            rows = dict(sheets)
            self.assertEqual(rows["Sheet1"][0], ["1000-00    ", "Cash in bank        ", 1234.5])
            self.assertEqual(rows["Sheet2"], [["1000-00   "], ["2000-00   "], ["3000-00   "]])
            self.assertEqual(rows["Sheet3"], [])
            self.assertEqual(rows["Sheet4"], [])
            self.assertEqual(rows["Sheet5"], rows["Sheet1"])
            self.assertEqual(rows["Trial data"], rows["Sheet1"])
            # Clearing clears the target sheet only.
            code, err = self.vok("-i", report, "-r", rules, "-o", out, "-w", "2")
            self.assertEqual((code, err), (0, ""))
            self.assertEqual(dict(self.sheets(out))["Sheet2"], rows["Sheet1"])
            self.assertEqual(dict(self.sheets(out))["Sheet1"], rows["Sheet1"])
            # A target no sheet can be is said; the workbook stays as it was.
            before = self.read(name)
            for bad in ("a:b", "0", "256"):
                code, err = self.vok("-i", report, "-r", rules, "-o", out, "-w", bad)
                self.assertEqual(code, 1, bad)
                self.assertIn("sheet target", err)
                self.assertEqual(self.read(name), before)
        # Consolidations keep sheet 2, or move to the sheet after a target of 2.
        out = self.path("ledger.xlsx")
        code, err = self.vok("-i", os.path.join(EXAMPLES, "general-ledger.txt"), "-r",
                             os.path.join(EXAMPLES, "general-ledger-by-department.t2x"), "-o",
                             out, "-w", "2")
        self.assertEqual((code, err), (0, ""))
        rows = dict(self.sheets(out))
        self.assertEqual(rows["Sheet1"], [])
        self.assertIn("GENERAL LEDGER", rows["Sheet2"][0][0])
        self.assertEqual(rows["Sheet3"][0][0], "ALL DEPARTMENTS COMBINED")
        # A CSV output has no sheets: a notice, status 0.
        code, err = self.vok("-i", report, "-r", rules, "-o", self.path("out.csv"), "-w", "2")
        self.assertEqual(code, 0)
        self.assertEqual(err, "The sheet target 2 applies to workbooks only; a CSV output has "
                              "no sheets.\n")
        # Even a target no sheet could be is only noticed there: the CSV is written.
        code, err = self.vok("-i", report, "-r", rules, "-o", self.path("bad.csv"), "-w", "a:b")
        self.assertEqual(code, 0)
        self.assertEqual(err, "The sheet target a:b applies to workbooks only; a CSV output has "
                              "no sheets.\n")
        self.assertTrue(os.path.getsize(self.path("bad.csv")) > 0)

    def sheets(self, path):
        """(name, rows of values without trailing empty cells) of each sheet."""
        result = []
        if path.endswith(".xls"):
            for sheet in xlrd.open_workbook(path).sheets():
                rows = [[v for v in sheet.row_values(r)] for r in range(sheet.nrows)]
                result.append((sheet.name, [self.trimmed(r, "") for r in rows]))
        else:
            for sheet in openpyxl.load_workbook(path).worksheets:
                rows = [[c.value for c in row] for row in sheet.iter_rows()]
                rows = [self.trimmed(r, None) for r in rows]
                while rows and not rows[-1]:
                    rows.pop()
                result.append((sheet.title, rows))
        return result

    @staticmethod
    def trimmed(row, empty):
        row = list(row)
        while row and row[-1] == empty:
            row.pop()
        return row

    def test_fault8_a_damaged_xls_says_only_vok_s_message(self):
        # Fault 8: the container library's diagnostics ("libgsf:msole-WARNING
        # ...") came before vok's own message.
        report, outputs = self.earlier_outputs()
        good = bytearray(outputs["out.xls"])
        damaged = bytes(good[:512]) + bytes(len(good) - 512)
        self.write("damaged.xls", damaged)
        code, err = self.vok("-i", report, "-r", self.path("good.rcp"), "-o",
                             self.path("damaged.xls"))
        self.assertEqual(code, 1)
        self.assertEqual(err, "Cannot open the workbook " + self.path("damaged.xls") +
                         ": it is not an Excel 97-2003 workbook. The file was left unchanged.\n")
        self.assertEqual(self.read("damaged.xls"), damaged)

    def test_fault9_temporary_files_of_killed_saves_are_removed(self):
        # Fault 9: after "kill -9" during a save, hidden temporary files stayed
        # beside the output forever. The next save removes those whose process
        # is gone, and only those; the job sweeps each output folder once, for
        # every target in it (a sweep per save read a folder of n outputs n
        # times: 10,000 outputs in one folder took 21 s instead of 2).
        report, _ = self.earlier_outputs()
        gone = subprocess.Popen(["true"])
        gone.wait()
        stale = [".~out.xlsx.%x-0badc0de.tmp" % gone.pid,
                 ".~out.xlsx.%x-0badc0de.tmp.Ab12Cd" % gone.pid,
                 ".~last.month.csv.%x-00c0ffee.tmp" % gone.pid]
        alive = [".~out.xlsx.%x-12345678.tmp" % os.getpid(), ".~out.xlsx.notes"]
        for name in stale + alive:
            self.write(name, "partial")
        code, err = self.vok("-i", report, "-r", self.path("good.rcp"), "-o",
                             self.path("out.xlsx"))
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(sorted(self.temporaries()), sorted(alive))

    def test_fault10_a_part_that_expands_beyond_reason_is_refused(self):
        # Fault 10: a 300 MB sharedStrings.xml that zips to a few hundred KB
        # was accepted (34 s). A smaller one makes the same point.
        report, outputs = self.earlier_outputs()
        bomb = self.path("bomb.xlsx")
        rels = "xl/_rels/workbook.xml.rels"
        with zipfile.ZipFile(self.path("out.xlsx")) as source, \
                zipfile.ZipFile(bomb, "w", zipfile.ZIP_DEFLATED) as target:
            for item in source.infolist():
                content = source.read(item.filename)
                if item.filename == rels:
                    content = content.replace(b"</Relationships>", (
                        '<Relationship Id="rId99" Type="http://schemas.openxmlformats.org/'
                        'officeDocument/2006/relationships/sharedStrings" '
                        'Target="sharedStrings.xml"/></Relationships>').encode())
                target.writestr(item, content)
            target.writestr("xl/sharedStrings.xml", b"<sst>" + b" " * (100 << 20) + b"</sst>")
        before = self.read("bomb.xlsx")
        code, err = self.vok("-i", report, "-r", self.path("good.rcp"), "-o", bomb)
        self.assertEqual(code, 1)
        self.assertIn("Cannot open the workbook " + bomb + ": its part xl/sharedStrings.xml "
                      "would expand to 100.0 MB", err)
        self.assertEqual(self.read("bomb.xlsx"), before)

    def test_fault11_a_full_disk_is_named_and_keeps_the_earlier_output(self):
        # Fault 11: a full disk said only "it is incomplete"; on a full disk
        # an earlier CSV was replaced by a partial one.
        report, outputs = self.earlier_outputs()
        big = self.write("big.txt", crlf("ACCOUNT NO", "", *(
            "%010d %-19s %9d" % (i, "Account", i) for i in range(20000)), "TOTALS"))
        full = self.tmpfs("full", "256k")
        for name, before in outputs.items():
            with open(os.path.join(full, name), "wb") as f:
                f.write(before)
        self.fill(full)
        for name, before in outputs.items():
            out = os.path.join(full, name)
            code, err = self.vok("-i", big, "-r", self.path("good.rcp"), "-o", out)
            self.assertEqual(code, 1, name)
            self.assertIn("No space left on device", err)
            self.assertIn(out, err)
            with open(out, "rb") as f:
                self.assertEqual(f.read(), before, name)
            self.assertEqual(self.temporaries(full), [], name)
        # A new workbook on the full disk names the cause too.
        code, err = self.vok("-i", big, "-r", self.path("good.rcp"), "-o",
                             os.path.join(full, "new.xlsx"))
        self.assertEqual(code, 1)
        self.assertIn("No space left on device", err)
        self.assertEqual(sorted(os.listdir(full)), ["filler", "out.csv", "out.xls", "out.xlsx"])

    def test_fault12_faulty_marks_after_sound_tables_convert_the_tables_above(self):
        # Fault 12: a second mark without its template line wrote nothing
        # ("No table was written", status 1), where the table above it had
        # always been converted. The tables marked soundly above the first
        # fault are converted; the message says where the reading stopped,
        # and the status is 1, as after every failure message.
        stop = " The reading of the marks stopped at line 6: only table 1, above it, is converted."
        faults = [
            ([">>2", "", "gamma 7890", "<<2"],
             "Line 6 of the report {}: the mark >>2 is not followed by a template line."),
            ([">>2", "----- ----", "gamma 7890"],
             "Line 6 of the report {}: the table marked >>2 has no end mark"),
            ([">>1", "----- ----", "gamma 7890", "<<1"],
             "Line 6 of the report {}: the mark should read >>2"),
            (["<<2", ">>2", "----- ----", "gamma 7890", "<<2"],
             "Line 6 of the report {}: the end mark <<2 has no start mark >>2 above it."),
        ]
        table_1 = [">>1", "----- ----", "alpha 1234", "beta    56", "<<1"]
        self.write("out.csv", "earlier output\r\n")
        for end in ("\r\n", "\n"):
            for lines, message in faults:
                with self.subTest(end=end, fault=message):
                    report = self.write("marked.txt", "".join(l + end for l in table_1 + lines))
                    code, err = self.vok("-i", report, "-o", self.path("out.csv"))
                    self.assertEqual(code, 1, err)
                    self.assertIn(message.format(report), err)
                    self.assertIn(stop, err)
                    self.assertNotIn("No table was written", err)
                    self.assertEqual(self.read("out.csv"), b"alpha ,1234\r\nbeta  ,  56\r\n")
                    with open(os.path.join(self.home, "_AutoRecipe.rcp"), "rb") as f:
                        auto = f.read()
                    self.assertIn(b"[Table 1]\r\nReadStartLine=>>1\r\n", auto)
                    self.assertIn(b"Parsing=----- ----\r\n", auto)
                    self.assertNotIn(b"[Table 2]", auto)
        # A workbook gets the same rows.
        code, err = self.vok("-i", report, "-o", self.path("out.xlsx"))
        self.assertEqual(code, 1, err)
        sheet = openpyxl.load_workbook(self.path("out.xlsx")).worksheets[0]
        self.assertEqual([[c.value for c in row] for row in sheet.iter_rows()],
                         [["alpha ", 1234], ["beta  ", 56]])
        # The preview shows the same table, says the same and writes nothing.
        os.remove(self.path("out.xlsx"))
        code, err = self.vok("--preview", "-i", report, "-o", self.path("out.xlsx"))
        self.assertEqual(code, 1, err)
        self.assertIn(faults[-1][1].format(report) + stop, err)
        self.assertIn("Table 1: lines 3 to 4, 2 rows\n", self.stdout)
        self.assertIn("    2 | beta   |   56\n", self.stdout)
        self.assertNotIn("Table 2", self.stdout)
        self.assertFalse(os.path.exists(self.path("out.xlsx")))
        self.assertEqual(self.temporaries(), [])


    def test_fault13_a_replaced_output_keeps_its_owner_group_and_access_list(self):
        # Fault 13: a replaced output became the running user's, with their
        # own group and no access list. A report kept in a folder shared
        # through its group or a list was the team's no longer, and one that
        # root rewrote no longer its owner's to change.
        if os.geteuid() != 0 or shutil.which("setpriv") is None:
            self.skipTest("needs root to give files away and setpriv to run as another user")
        colleague = pwd.getpwnam("nobody").pw_uid
        team = 4242  # a group the colleague belongs to besides their own
        as_colleague = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--groups=%d" % team]
        os.chmod(self.dir, 0o777)
        report = self.write("report.txt", REPORT)
        good = self.write("good.rcp", recipe())
        home = tempfile.mkdtemp(dir=self.dir)
        os.chown(home, colleague, -1)
        for name in ("out.csv", "out.xlsx"):
            out = self.path(name)
            self.assertEqual(self.vok("-i", report, "-r", good, "-o", out), (0, ""))
            os.chown(out, colleague, team)
            os.chmod(out, 0o660)
            # Read and write for one more user, and a tag of the user's own.
            attributes = {"system.posix_acl_access": ACCESS_LIST, "user.filed-under": b"month end"}
            for attribute, value in list(attributes.items()):
                try:
                    os.setxattr(out, attribute, value)
                except OSError as refused:  # a file system without them
                    if refused.errno not in (errno.ENOTSUP, errno.EOPNOTSUPP):
                        raise
                    del attributes[attribute]
            before = self.read(name)
            for prefix in (as_colleague, []):
                args = ["-i", report, "-r", good, "-o", out, "-c"]
                if self.SYNTAX == "switch":
                    args = [self.SWITCHES.get(a, a.replace("/", "\\")) for a in args]
                done = subprocess.run([*prefix, VOK, *args], env={**os.environ, "VOK_HOME": home},
                                      capture_output=True, check=False, cwd=self.dir)
                self.assertEqual((done.returncode, done.stderr), (0, b""), (name, prefix))
                made = os.stat(out)
                self.assertEqual((made.st_uid, made.st_gid, stat.S_IMODE(made.st_mode)),
                                 (colleague, team, 0o660), (name, prefix))
                for attribute, value in attributes.items():
                    self.assertEqual(os.getxattr(out, attribute), value, (name, prefix))
            self.assertEqual(self.temporaries(), [])
            if name == "out.csv":
                self.assertEqual(self.read(name), before)

    def start(self, args, home, extra_env=None):
        """vok running in the background; its standard error is gathered
        line by line into the returned list as it comes."""
        if self.SYNTAX == "switch":
            args = [self.SWITCHES.get(a, "/V" if a == "-v" else a.replace("/", "\\")) for a in args]
        job = subprocess.Popen([VOK, *args], env={**os.environ, "VOK_HOME": home, **(extra_env or {})},
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd=self.dir)
        lines = []
        reader = threading.Thread(target=lambda: lines.extend(job.stderr), daemon=True)
        reader.start()
        job.lines, job.reader = lines, reader
        return job

    def test_fault14_jobs_writing_into_one_workbook_at_once_keep_each_others_sheets(self):
        # Fault 14: two jobs of different program folders (two users) writing
        # into one workbook at once each saved the workbook as they had read
        # it. The later save dropped the sheet the other had written, and both
        # said they had succeeded.
        library = os.path.join(BUILD, "libvok_fault_injection.so")
        report = self.write("report.txt", REPORT)
        good = self.write("good.rcp", recipe())
        other_home = tempfile.mkdtemp(dir=self.dir)
        marker = self.path("held")
        for name in ("book.xlsx", "book.xls"):
            book = self.path(name)
            self.assertEqual(self.vok("-i", report, "-r", good, "-o", book), (0, ""))
            # The first job is held at the last step of its save, the rename
            # that puts its workbook in place...
            first = self.start(["-i", report, "-r", good, "-o", book, "-w", "2"], self.home,
                               {"LD_PRELOAD": library, "VOK_FAULT_HOLD_RENAME": book,
                                "VOK_FAULT_HOLD_MARKER": marker})
            wait_until(self, "the first job's save", lambda: os.path.exists(marker) or
                       first.poll() is not None)
            self.assertIsNone(first.poll(), b"".join(first.lines))
            # ...while a second writes sheet 3: it waits for the first, or
            # (as it did) saves the workbook it read and ends.
            second = self.start(["-i", report, "-r", good, "-o", book, "-w", "3", "-v"],
                                other_home)
            waiting = "Waiting for another job saving into the folder " + self.dir
            wait_until(self, "the second job's wait or end", lambda: second.poll() is not None or any(
                waiting.encode() in line for line in list(second.lines)))
            os.remove(marker)
            self.assertEqual(first.wait(120), 0)
            self.assertEqual(second.wait(120), 0)
            first.reader.join()
            second.reader.join()
            self.assertEqual(b"".join(first.lines), b"", name)
            rows = [sheet_rows for _, sheet_rows in self.sheets(book)]
            self.assertEqual(len(rows), 3, name)
            self.assertEqual(rows[1], rows[0], name)
            self.assertEqual(rows[2], rows[0], name)
        self.assertEqual(self.temporaries(), [])


class FaultsSwitchSyntax(Faults):
    SYNTAX = "switch"


if __name__ == "__main__":
    unittest.main()
