"""A one-table CSV job reads its report once, finding the key lines as it
converts: what it writes and says must be what the usual way (a recipe of
more tables, whose report is scanned first) writes and says, for plain
reports, for reports that turn out not to be plain ASCII partway (UTF-8,
Windows-1252, tabs, before, inside and after the table), and for reports
that cannot be converted (a line too long, a key missing or out of order),
which write nothing and leave the earlier output as it was."""

import os
import shutil
import tempfile
import unittest

from e2e_support import VOK, FolderFiles, crlf, run_vok

TEMPLATE = "------ ---------- --------"


def table(n, start="REPORT START", start_offset=1, end="REPORT END", end_offset=-1):
    return crlf(f"[Table {n}]", "ReadStartLine=" + start,
                f"ReadStartLineOffset={start_offset}", "ReadEndLine=" + end,
                f"ReadEndLineOffset={end_offset}", "Parsing=" + TEMPLATE, "WriteColumn=A")


def recipes(**keys):
    """The recipe of one table, and of the same table twice (read the usual way)."""
    head = crlf("[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0")
    return head + table(1, **keys), head + table(1, **keys) + table(2, **keys)


def report(rows, before=(), after=()):
    return crlf("TITLE LINE", *before, "REPORT START", *rows, "-----", "REPORT END", *after,
                "LAST LINE")


ROWS = [f"R{i:04d}  item {i:<5} {i * 3:>8}" for i in range(300)]


class OnePassTest(FolderFiles, unittest.TestCase):
    SYNTAX = "linux"

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-onepass-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_both(self, text, **keys):
        """Runs the one-table and the two-table recipe on `text` (str or bytes)
        in fresh program folders over an earlier output; gives both results:
        (status, messages, output bytes)."""
        self.write("report.txt", text)
        results = []
        for n, recipe_text in enumerate(recipes(**keys)):
            self.write(f"r{n}.rcp", recipe_text)
            home = self.path(f"home{len(results)}-{n}")
            os.makedirs(home, exist_ok=True)
            out = self.write(f"out{n}.csv", "EARLIER\r\n")
            status, said = run_vok(VOK, home, ["-i", self.path("report.txt"), "-r",
                                               self.path(f"r{n}.rcp"), "-o", out], self.SYNTAX)
            said = said.replace(f"r{n}.rcp", "R").replace(f"out{n}.csv", "OUT")
            results.append((status, said, self.read(f"out{n}.csv")))
        return results

    def assert_same(self, text, **keys):
        (status1, said1, out1), (status2, said2, out2) = self.run_both(text, **keys)
        self.assertEqual(status1, status2, said1 + said2)
        self.assertEqual(said1, said2)
        if out2 != b"EARLIER\r\n":
            # The two-table output holds the table twice.
            self.assertEqual(out1 + out1, out2)
        else:
            self.assertEqual(out1, out2)
        return status1, said1, out1

    def test_rows_and_messages_match_the_usual_way(self):
        utf8_row = "R9999  caf\u00e9 \u00fcber    42"
        cases = {
            "plain": (report(ROWS), {}),
            "offsets": (report(ROWS), {"start_offset": 0, "end_offset": 0}),
            "held back": (report(ROWS), {"start_offset": 3, "end_offset": -4}),
            "utf-8 inside": (report(ROWS[:100] + [utf8_row] + ROWS[100:]), {}),
            "utf-8 before": (report(ROWS, before=["caf\u00e9"]), {}),
            "utf-8 after": (report(ROWS, after=["\u00fcber"]), {}),
            "tab inside": (report(ROWS[:50] + ["R7777\titem\t12"] + ROWS[50:]), {}),
            "tab after": (report(ROWS, after=["a\tb"]), {}),
        }
        for name, (text, keys) in cases.items():
            with self.subTest(name):
                status, said, out = self.assert_same(text, **keys)
                self.assertEqual(status, 0, said)
                self.assertNotIn(b"EARLIER", out)
        # Windows-1252 bytes late in the report make the whole report
        # Windows-1252, also for a line above them that reads as UTF-8.
        latin = report(ROWS[:10] + ["R8888  caf\u00e9      1"] + ROWS[10:],
                       after=["na\xefve"]).encode("utf-8")
        latin = latin.replace("na\xefve".encode("utf-8"), b"na\xefve")
        status, said, out = self.assert_same(latin)
        self.assertEqual(status, 0, said)
        self.assertIn("is not valid UTF-8", said)
        # The CSV keeps the report's bytes; read as Windows-1252, "\u00e9" is two
        # characters, which moves the fields after it.
        self.assertTrue(b"R8888  ,caf\xc3\xa9      ,1 \r\n" in out)
        # The tab warning is said once either way.
        status, said, _ = self.assert_same(report(ROWS[:5] + ["R7\tx\t1"] + ROWS[5:]))
        self.assertEqual(status, 0)

    def test_reports_that_cannot_be_converted_write_nothing(self):
        long_line = "x" * (1024 * 1024 + 10)
        cases = {
            "long line after the table": (report(ROWS, after=[long_line]), {}),
            "long line inside the table": (report(ROWS[:200] + [long_line] + ROWS[200:]), {}),
            "no end key": (report(ROWS), {"end": "NO SUCH KEY"}),
            "no start key": (report(ROWS), {"start": "NO SUCH KEY"}),
            "end before start": (report(ROWS, before=["REPORT END"]), {}),
            "end offset above the start": (report(ROWS[:2]), {"end_offset": -4}),
        }
        for name, (text, keys) in cases.items():
            with self.subTest(name):
                status, said, out = self.assert_same(text, **keys)
                self.assertNotEqual(status, 0, said)
                self.assertEqual(out, b"EARLIER\r\n")
                self.assertRegex(said, "Cannot read the report|Can not find|was found before|"
                                       "lies before the start")


class OnePassSwitchSyntaxTest(OnePassTest):
    SYNTAX = "switch"


if __name__ == "__main__":
    unittest.main()
