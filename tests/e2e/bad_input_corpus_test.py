"""The bad-input corpus (tests/data/bad): every command line of cases.tsv runs
the real program in a fresh folder over earlier outputs of a sound run. Each
must end with its exit status and say its message, never crash or hang, and
leave every file placed there byte for byte as it was, with no temporary file
beside them. Cases marked "both" run in the switch syntax too."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
VOK = os.path.join(BUILD, "vok")
CORPUS = os.path.abspath(os.path.join(SOURCE, "tests", "data", "bad"))
SWITCHES = {"-i": "/I", "-o": "/O", "-r": "/R", "-l": "/L", "-w": "/W", "-t": "/T", "-c": "/C",
            "--preview": "/P"}


def read_cases():
    cases = []
    with open(os.path.join(CORPUS, "cases.tsv"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            name, syntaxes, status, fragments, command = line.rstrip("\n").split("\t")
            cases.append((name, syntaxes, int(status), fragments.split("|"), command.split(" ")))
    return cases


def generated(name):
    """Files too large to keep in the repository."""
    if name == "recipe-10-mb-line.rcp":
        return b"x" * (10 << 20)
    if name == "report-10-mb-line.txt":
        return b"ACCOUNT" * ((10 << 20) // 7) + b"\r\n"
    if name == "marks-10-mb-line.txt":
        return b">>1\r\n----\r\n" + b"x" * (10 << 20) + b"\r\n<<1\r\n"
    if name == "long-10-mb-line.t2x":
        return (b"[Header]\r\nProduct=VOK\r\nFileType=EXPORT SPEC\r\nFileFormat=1.1\r\n"
                b"[General]\r\nName=\r\n" + b"x" * (10 << 20))
    if name == "recipe-100-kb-key.rcp":
        return (b"[Header]\r\nProduct=VOK-B\r\nFileType=RECIPE\r\nFileFormat=1.0\r\n"
                b"[Table 1]\r\nReadStartLine=" + b"K" * 100000 + b"\r\nReadStartLineOffset=2\r\n"
                b"ReadEndLine=TOTALS\r\nReadEndLineOffset=-1\r\nParsing=----\r\nWriteColumn=A\r\n")
    raise KeyError(name)


class BadInputCorpus(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The earlier outputs every case must leave alone.
        cls.work = tempfile.mkdtemp(prefix="vok-bad-")
        cls.earlier = {}
        home = os.path.join(cls.work, "home")
        os.mkdir(home)
        for kind in ("csv", "xlsx", "xls"):
            out = os.path.join(cls.work, "earlier." + kind)
            done = subprocess.run([VOK, "-i", os.path.join(CORPUS, "report.txt"), "-r",
                                   os.path.join(CORPUS, "good.rcp"), "-o", out],
                                  env={**os.environ, "VOK_HOME": home}, capture_output=True,
                                  check=False)
            assert done.returncode == 0, done.stderr
            with open(out, "rb") as f:
                cls.earlier[kind] = f.read()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_the_corpus_is_complete(self):
        files = [n for n in os.listdir(CORPUS) if n != "cases.tsv"]
        self.assertGreaterEqual(len(files), 60)
        used = set()
        for _, _, _, fragments, command in read_cases():
            for text in command + fragments:
                used.update(m.split("=")[0] for m in re.findall(r"\{f:([^}]+)\}", text))
        self.assertEqual(sorted(set(files) - used), [], "corpus files no case uses")
        self.assertEqual(sorted(used - set(files)), [], "cases naming files that are missing")

    def test_each_bad_input_gets_its_message_and_loses_nothing(self):
        cases = read_cases()
        self.assertGreaterEqual(len(cases), 60)
        for name, syntaxes, status, fragments, command in cases:
            for syntax in ("linux", "switch") if syntaxes == "both" else ("linux",):
                with self.subTest(case=name, syntax=syntax):
                    self.run_case(status, fragments, command, syntax)

    def run_case(self, status, fragments, command, syntax):
        folder = tempfile.mkdtemp(prefix="case-", dir=self.work)
        home = os.path.join(folder, "home")
        os.mkdir(home)
        placed = {}  # path -> the bytes it must keep
        links = {}  # path -> the target it must keep pointing at

        def place(path, content):
            with open(path, "wb") as f:
                f.write(content)
            placed[path] = content
            return path

        def expand(text):
            def one(match):
                token = match.group(1)
                if token in self.earlier:
                    path = os.path.join(folder, "earlier." + token)
                    return path if path in placed else place(path, self.earlier[token])
                if token == "dir":
                    return folder
                if token == "home":
                    # A working file the case may name, which must stay as it is.
                    working = os.path.join(home, "_AutoRecipe.rcp")
                    if working not in placed:
                        place(working, b"[Table 1]\r\nReadStartLine=X\r\n")
                    return home
                kind, _, spec = token.partition(":")
                source, _, alias = spec.partition("=")
                path = os.path.join(folder, alias or source)
                if path in placed:
                    return path
                if kind == "gen":
                    return place(path, generated(source))
                if kind == "fifo":
                    # Never read back: a named pipe without a writer would wait.
                    if not os.path.exists(path):
                        os.mkfifo(path)
                    return path
                if kind == "link":
                    # {link:NAME=TARGET}: a symbolic link, which must stay as it is.
                    path = os.path.join(folder, source)
                    if not os.path.lexists(path):
                        os.symlink(alias, path)
                        links[path] = alias
                    return path
                with open(os.path.join(CORPUS, source), "rb") as f:
                    return place(path, f.read())
            return re.sub(r"\{([^}]+)\}", one, text)

        args = [expand(a) for a in command]
        expected = [expand(f) for f in fragments]
        if syntax == "switch":
            args = [SWITCHES.get(a, a.replace("/", "\\")) for a in args]
        try:
            done = subprocess.run([VOK, *args], env={**os.environ, "VOK_HOME": home},
                                  capture_output=True, check=False, cwd=folder, timeout=120)
        except subprocess.TimeoutExpired:
            self.fail("vok did not end within two minutes")
        err = done.stderr.decode(errors="replace")
        self.assertEqual(done.returncode, status, err)
        for fragment in expected:
            self.assertIn(fragment, err)
        self.assertNotIn("unexpected failure", err)
        self.assertNotIn("CRITICAL", err)
        self.assertNotIn("WARNING", err)
        for path, content in placed.items():
            with open(path, "rb") as f:
                self.assertTrue(f.read() == content, path + " was changed")
        for path, target in links.items():
            self.assertEqual(os.readlink(path), target, path + " is no longer the same link")
        left = [n for n in os.listdir(folder) if n.startswith(".~")]
        self.assertEqual(left, [])
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
