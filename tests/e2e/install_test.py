"""vok installed into a prefix (cmake --install) and run as its users run it.

Guards the fault in which an installed vok, run by an ordinary user, looked
for config.ini and wrote its working files beside the executable: "PREFIX/bin/
config.ini can not be found!", "Cannot write the export-specs file ...
(Permission denied)", nothing converted, status 1. Now each user's files lie
in that user's XDG folders, the installation is never written to, and both
command-line syntaxes convert to CSV, .xlsx and .xls as an ordinary user
(nobody, through setpriv) and as root. Also: the layout of the install, a
moved installation, a portable copy, VOK_HOME, two users converting at once,
and a state folder that cannot be made.

The ordinary user's part is skipped, with a notice, where setpriv is missing
or the test does not run as root."""
import csv
import gzip
import os
import shutil
import sys
import stat
import struct
import subprocess
import tempfile
import threading
import unittest

import openpyxl
import xlrd

from e2e_support import tree

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
EXAMPLES = os.path.join(SOURCE, "examples")
CAN_DROP = os.geteuid() == 0 and shutil.which("setpriv") is not None
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]


def rows_of(path):
    if path.endswith(".csv"):
        with open(path, newline="", encoding="latin-1") as f:
            return [[c.strip() for c in row] for row in csv.reader(f)]
    if path.endswith(".xlsx"):
        sheet = openpyxl.load_workbook(path, read_only=True).worksheets[0]
        return [["" if v is None else str(v).strip() for v in row]
                for row in sheet.iter_rows(values_only=True)]
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    return [[str(v).strip() for v in sheet.row_values(r)] for r in range(sheet.nrows)]


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="vok-install-")
        os.chmod(cls.work, 0o755)  # the ordinary user reads the installation and the reports
        cls.prefix = os.path.join(cls.work, "prefix")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", cls.prefix], check=True,
                       stdout=subprocess.DEVNULL)
        cls.reports = os.path.join(cls.work, "reports")
        shutil.copytree(EXAMPLES, cls.reports)
        # The outputs a build-folder vok writes are the standard.
        cls.expected = {}
        home = os.path.join(cls.work, "build-home")
        for ext in ("csv", "xlsx", "xls"):
            out = os.path.join(cls.work, "expected." + ext)
            subprocess.run([os.path.join(BUILD, "vok"), "-i", cls.report(), "-r", cls.recipe(),
                            "-o", out], check=True, env=dict(os.environ, VOK_HOME=home),
                           stderr=subprocess.DEVNULL)
            cls.expected[ext] = rows_of(out)
        cls.installed = tree(cls.prefix)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def report(cls, name="trial-balance.txt"):
        return os.path.join(cls.reports, name)

    @classmethod
    def recipe(cls):
        return os.path.join(cls.reports, "trial-balance.rcp")

    def folder(self, name, owner_nobody=False):
        path = os.path.join(self.work, name)
        os.makedirs(path, exist_ok=True)
        if owner_nobody:
            shutil.chown(path, "nobody", "nogroup")
        return path

    def run_vok(self, args, home, nobody=False, extra=None, program=None, cwd=None):
        env = {"PATH": "/usr/bin:/bin", "HOME": home, "LANG": "C.UTF-8"}
        env.update(extra or {})
        command = [program or os.path.join(self.prefix, "bin", "vok")] + args
        return subprocess.run((NOBODY if nobody else []) + command, env=env, cwd=cwd,
                              capture_output=True, text=True)

    def assertPrefixUntouched(self):
        self.assertEqual(tree(self.prefix), self.installed, "the installation was written to")

    def test_every_file_is_installed_and_the_man_pages_name_every_option(self):
        p = self.prefix
        self.assertEqual(sorted(os.listdir(os.path.join(p, "bin"))), ["vok", "vok-desktop"])
        for path in ["lib/vok/libvok-workbook.so", "lib/vok/libvok-xlsx.so", "lib/vok/vok-pdf-text",
                     "share/vok/help/vok-wizard.htm",
                     "share/vok/help/vok_wizard_users_manual/how_do_i_use_it_/howdoiuseit_.htm",
                     "share/applications/vok.desktop", "share/icons/hicolor/scalable/apps/vok.svg",
                     "share/man/man1/vok.1.gz", "share/man/man1/vok-desktop.1.gz",
                     "share/bash-completion/completions/vok", "share/mime/packages/vok.xml",
                     "share/metainfo/com.hollin.vok.metainfo.xml", "share/doc/vok/copyright"]:
            self.assertTrue(os.path.isfile(os.path.join(p, path)), path)
        self.assertEqual(os.readlink(os.path.join(p, "share/bash-completion/completions/"
                                                     "vok-desktop")), "vok")
        with open(os.path.join(p, "share/icons/hicolor/48x48/apps/vok.png"), "rb") as f:
            head = f.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", head[16:24]), (48, 48))
        # The man pages cover every option of both syntaxes.
        with gzip.open(os.path.join(p, "share/man/man1/vok.1.gz"), "rt") as f:
            page = f.read()
        for option in ["input", "output", "recipe", "subfolders", "original\\-folder",
                       "no\\-clear", "show", "tab\\-size", "sheet", "log", "verbose", "quiet",
                       "preview", "rows", "pdf\\-text", "help", "version"]:
            self.assertIn("\\-\\-" + option, page)
        for switch in "IORSGCETWLVQP?":
            self.assertIn("/" + switch, page)
        for section in ["EXIT STATUS", "FILES", "ENVIRONMENT", "EXAMPLES", "XDG_STATE_HOME"]:
            self.assertIn(section, page)

    def test_the_files_pass_their_checkers(self):
        p = self.prefix
        checks = [
            ["desktop-file-validate", os.path.join(p, "share/applications/vok.desktop")],
            ["appstreamcli", "validate", "--no-net", "--pedantic",
             os.path.join(p, "share/metainfo/com.hollin.vok.metainfo.xml")],
            ["xmllint", "--noout", os.path.join(p, "share/mime/packages/vok.xml")],
        ] + [["man", "--warnings", "-l", os.path.join(p, "share/man/man1", page)]
             for page in ("vok.1.gz", "vok-desktop.1.gz")]
        for command in checks:
            with self.subTest(command=command[0]):
                if not shutil.which(command[0]):
                    print("skipped: %s is not installed (scripts/setup.sh installs it)"
                          % command[0])
                    continue
                run = subprocess.run(command, capture_output=True, text=True,
                                     env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
                self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
                if command[0] == "man":
                    self.assertEqual(run.stderr, "")

    def test_bash_completion_offers_the_options_and_the_files_of_each_kind(self):
        script = os.path.join(self.prefix, "share/bash-completion/completions/vok")
        folder = self.folder("completion")
        for name in ("a.rcp", "b.txt"):
            open(os.path.join(folder, name), "w").close()
        run = subprocess.run(["bash", "-c", 'source "$1"; t() { COMP_WORDS=("$@"); '
                              'COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _vok; '
                              'printf "%s\\n" "${COMPREPLY[*]}" | tr " " "\\n" | sort | '
                              'paste -sd " "; }; t vok --qu; t vok -r ""; '
                              't vok -i ""; t vok /I x /Q; t vok-desktop ""', "-", script],
                             cwd=folder, capture_output=True, text=True, check=True)
        self.assertEqual(run.stdout.splitlines(),
                         ["--quiet", "a.rcp", "a.rcp b.txt", "/Q", "a.rcp b.txt"])

    def convert_everywhere(self, home, nobody):
        """The issue's job, in both syntaxes, to each output type, from a
        folder of the user's own; returns the state folder."""
        out = os.path.join(home, "out")
        os.mkdir(out)
        if nobody:
            shutil.chown(out, "nobody", "nogroup")
        for ext in ("csv", "xlsx", "xls"):
            for syntax in ("linux", "switch"):
                target = os.path.join(out, "%s-tb.%s" % (syntax, ext))
                if syntax == "linux":
                    args = ["-i", "trial-balance.txt", "-r", "trial-balance.rcp", "-o", target]
                else:
                    args = ["/I", self.report().replace("/", "\\"), "/R",
                            self.recipe().replace("/", "\\"), "/O", target.replace("/", "\\")]
                with self.subTest(ext=ext, syntax=syntax, nobody=nobody):
                    run = self.run_vok(args, home, nobody, cwd=self.reports)
                    self.assertEqual((run.returncode, run.stderr), (0, ""))
                    self.assertEqual(rows_of(target), self.expected[ext])

    def check_user_files(self, config, state):
        self.assertTrue(os.path.isfile(os.path.join(config, "config.ini")))
        for name in ("ErrorLog.txt", "_ExportSpecs.t2x", "vok.lock"):
            self.assertTrue(os.path.isfile(os.path.join(state, name)), name)
        for folder in (config, state):
            self.assertEqual(stat.S_IMODE(os.stat(folder).st_mode), 0o700, folder)

    def test_an_ordinary_user_and_root_keep_their_files_in_their_home(self):
        users = [False] + ([True] if CAN_DROP else [])
        if not CAN_DROP:
            print("skipped: the ordinary user's part needs root and setpriv")
        for nobody in users:
            home = self.folder("home-nobody" if nobody else "home-root", owner_nobody=nobody)
            self.convert_everywhere(home, nobody)
            self.check_user_files(os.path.join(home, ".config/vok"),
                                  os.path.join(home, ".local/state/vok"))
            self.assertPrefixUntouched()
        # The XDG variables move the folders.
        home = self.folder("home-xdg", owner_nobody=CAN_DROP)
        xdg = {"XDG_CONFIG_HOME": os.path.join(home, "cfg"),
               "XDG_STATE_HOME": os.path.join(home, "st")}
        run = self.run_vok(["-i", self.report(), "-r", self.recipe(),
                            "-o", os.path.join(home, "tb.csv")], home, CAN_DROP, xdg)
        self.assertEqual((run.returncode, run.stderr), (0, ""))
        self.check_user_files(os.path.join(home, "cfg/vok"), os.path.join(home, "st/vok"))
        self.assertFalse(os.path.exists(os.path.join(home, ".config")))
        self.assertFalse(os.path.exists(os.path.join(home, ".local")))

    def test_an_ordinary_user_converts_a_pdf_report_with_the_installed_reader(self):
        sys.path.insert(0, os.path.dirname(__file__))
        import pdf_support
        home = self.folder("home-pdf", owner_nobody=CAN_DROP)
        with open(self.report(), encoding="latin-1") as f:
            pdf = pdf_support.ghostscript_pdf(f.read(), os.path.join(home, "tb.pdf"))
        os.chmod(pdf, 0o644)
        target = os.path.join(home, "tb.csv")
        for args in (["-i", pdf, "-r", self.recipe(), "-o", target],
                     ["/I", pdf.replace("/", "\\"), "/R", self.recipe().replace("/", "\\"),
                      "/O", target.replace("/", "\\")]):
            with self.subTest(syntax=args[0]):
                run = self.run_vok(args, home, CAN_DROP)
                self.assertEqual((run.returncode, run.stderr), (0, ""))
                self.assertEqual(rows_of(target), self.expected["csv"])
        self.assertPrefixUntouched()

    def test_a_folder_that_cannot_be_made_is_named(self):
        home = self.folder("home-blocked", owner_nobody=CAN_DROP)
        blocked = os.path.join(home, "blocked")
        with open(blocked, "w") as f:
            f.write("a file where the state folder's parent should be")
        for args in (["-i", self.report(), "-r", self.recipe(), "-o",
                      os.path.join(home, "tb.csv")],
                     ["/I", self.report().replace("/", "\\"), "/R",
                      self.recipe().replace("/", "\\"), "/O",
                      os.path.join(home, "tb.csv").replace("/", "\\")]):
            with self.subTest(syntax=args[0]):
                run = self.run_vok(args, home, CAN_DROP, {"XDG_STATE_HOME": blocked})
                self.assertEqual(run.returncode, 1)
                self.assertEqual(run.stderr, "Cannot make the state folder %s/vok (%s: a file "
                                             "of that name is in the way).\n" % (blocked, blocked))
                self.assertFalse(os.path.exists(os.path.join(home, "tb.csv")))
        self.assertPrefixUntouched()

    def test_two_users_converting_at_once_share_no_working_file(self):
        if not CAN_DROP:
            self.skipTest("needs root and setpriv for a second user")
        homes = {False: self.folder("twin-root"), True: self.folder("twin-nobody", True)}
        # Each converts a marked-up report of its own: root's has two tables,
        # nobody's only the first. Had they one _AutoRecipe.rcp, a job would
        # now and then run the other's recipe.
        with open(self.report("trial-balance-marked.txt"), newline="") as f:
            lines = f.read().split("\r\n")
        one_table = os.path.join(homes[True], "one-table.txt")
        with open(one_table, "w", newline="") as f:
            f.write("\r\n".join(l for i, l in enumerate(lines) if i not in (28, 29, 45)))
        marked = {False: self.report("trial-balance-marked.txt"), True: one_table}
        tables = {False: "[Table 2]", True: "[Table 1]"}
        failures, outputs = [], {False: set(), True: set()}

        def convert(nobody):
            for i in range(10):
                out = os.path.join(homes[nobody], "out%d.csv" % i)
                run = self.run_vok(["-i", marked[nobody], "-o", out], homes[nobody], nobody)
                if run.returncode != 0:
                    failures.append((nobody, run.stderr))
                else:
                    outputs[nobody].add(len(rows_of(out)))
        threads = [threading.Thread(target=convert, args=(who,)) for who in (False, True)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(failures, [])
        # Every run of a user wrote the same rows, which differ between the users.
        self.assertEqual(len(outputs[False]), 1)
        self.assertEqual(len(outputs[True]), 1)
        self.assertGreater(min(outputs[False]), min(outputs[True]))
        for nobody, home in homes.items():
            state = os.path.join(home, ".local/state/vok")
            with open(os.path.join(state, "_AutoRecipe.rcp"), newline="") as f:
                recipe = f.read()
            self.assertIn(tables[nobody], recipe)
            if nobody:
                self.assertNotIn("[Table 2]", recipe)
            self.assertEqual(os.stat(state).st_uid, 65534 if nobody else 0)
        self.assertPrefixUntouched()

    def test_a_moved_installation_a_portable_copy_and_vok_home_find_their_files(self):
        # A moved installation still finds its workbook module and manual.
        moved = os.path.join(self.work, "moved")
        shutil.copytree(self.prefix, moved, symlinks=True)
        home = self.folder("home-moved", owner_nobody=CAN_DROP)
        out = os.path.join(home, "tb.xlsx")
        run = self.run_vok(["-i", self.report(), "-r", self.recipe(), "-o", out], home, CAN_DROP,
                           program=os.path.join(moved, "bin/vok"))
        self.assertEqual((run.returncode, run.stderr), (0, ""))
        self.assertEqual(rows_of(out), self.expected["xlsx"])
        self.assertEqual(tree(moved), self.installed)

        # A portable copy keeps its files beside itself.
        portable = self.folder("portable", owner_nobody=CAN_DROP)
        for name in ("vok", "vok-desktop", "libvok-workbook.so", "libvok-xlsx.so"):
            shutil.copy2(os.path.join(BUILD, name), portable)
        home = self.folder("home-portable", owner_nobody=CAN_DROP)
        run = self.run_vok(["-i", self.report(), "-r", self.recipe(), "-o",
                            os.path.join(home, "tb.xls")], home, CAN_DROP,
                           program=os.path.join(portable, "vok"))
        self.assertEqual((run.returncode, run.stderr), (0, ""))
        for name in ("config.ini", "ErrorLog.txt", "_ExportSpecs.t2x"):
            self.assertTrue(os.path.isfile(os.path.join(portable, name)), name)
        self.assertEqual(sorted(os.listdir(home)), ["tb.xls"])

        # VOK_HOME wins over the XDG folders of an installation.
        vok_home = os.path.join(self.folder("home-env", owner_nobody=CAN_DROP), "vok-home")
        run = self.run_vok(["-i", self.report(), "-r", self.recipe(), "-o",
                            os.path.join(vok_home, "..", "tb.csv")],
                           os.path.dirname(vok_home), CAN_DROP, {"VOK_HOME": vok_home})
        self.assertEqual((run.returncode, run.stderr), (0, ""))
        self.assertTrue(os.path.isfile(os.path.join(vok_home, "config.ini")))
        self.assertTrue(os.path.isfile(os.path.join(vok_home, "_ExportSpecs.t2x")))
        self.assertFalse(os.path.exists(os.path.join(os.path.dirname(vok_home), ".config")))
        self.assertPrefixUntouched()


if __name__ == "__main__":
    unittest.main()
