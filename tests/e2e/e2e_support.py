"""What the end-to-end tests share: where the program is, a small ledger
report, its recipe, the files of a test's own folder with its own VOK_HOME,
running vok there in either command-line syntax, and a picture of a folder
tree to tell that nothing in it changed."""

import os
import shutil
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(HERE, "../../build"))
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(HERE, "../.."))
VOK = os.path.join(BUILD, "vok")


def crlf(*lines):
    return "".join(line + "\r\n" for line in lines)


# The small ledger every test shares (tests/data/small-ledger.txt).
with open(os.path.join(HERE, "../data/small-ledger.txt"), newline="", encoding="utf-8") as _f:
    REPORT = _f.read()


def recipe(start="ACCOUNT NO", start_offset="2", end="TOTALS", end_offset="-1",
           parsing="---------- ------------------- ---------"):
    return crlf("[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "[Table 1]",
                "ReadStartLine=" + start, "ReadStartLineOffset=" + start_offset,
                "ReadEndLine=" + end, "ReadEndLineOffset=" + end_offset,
                "Parsing=" + parsing, "WriteColumn=A")


class FolderFiles:
    """Files in the test's own folder, `self.dir`."""

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, content):
        data = content.encode() if isinstance(content, str) else content
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()


class VokFolder(FolderFiles):
    """A fresh folder `self.dir` with the program folder `self.home` in it, and
    vok run there with Linux-style arguments, or, when SYNTAX is "switch",
    their switch-syntax spelling: each option its switch in SWITCHES, "\\"
    between folders."""
    SYNTAX = "linux"
    SWITCHES = {"-i": "/I", "-o": "/O", "-r": "/R", "-c": "/C", "-l": "/L", "-w": "/W",
                "--preview": "/P"}

    def make_folder(self, prefix):
        self.dir = tempfile.mkdtemp(prefix=prefix)
        self.home = os.path.join(self.dir, "home")
        os.mkdir(self.home)

    def remove_folder(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def vok(self, *args):
        """The exit status and standard error; standard output is kept in self.stdout."""
        if self.SYNTAX == "switch":
            args = [self.SWITCHES.get(a, a.replace("/", "\\")) for a in args]
        done = subprocess.run([VOK, *args], env={**os.environ, "VOK_HOME": self.home},
                              capture_output=True, check=False, cwd=self.dir)
        self.stdout = done.stdout.decode(errors="replace")
        return done.returncode, done.stderr.decode(errors="replace")


def wait_until(test, what, done, seconds=120):
    """Waits for `done()`; a test that never sees it fails instead of hanging."""
    give_up = time.monotonic() + seconds
    while not done():
        test.assertLess(time.monotonic(), give_up, "never came: " + what)
        time.sleep(0.01)


def tree(folder):
    """Every path under the folder with its size and modification time."""
    seen = {}
    for base, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(base, name)
            info = os.lstat(path)
            seen[os.path.relpath(path, folder)] = (info.st_size, info.st_mtime_ns)
    return seen


SWITCHES = {"-i": "/I", "-o": "/O", "-r": "/R", "-c": "/C", "-s": "/S", "-g": "/G",
            "-l": "/L", "-w": "/W", "-t": "/T"}


def run_vok(vok, home, args, syntax="linux", cwd=None):
    """Runs vok in the program folder `home` with Linux-style arguments, or
    their switch-syntax spelling (backslashes between folders) when `syntax`
    is "switch"; gives the exit status and the error output."""
    if syntax == "switch":
        args = [SWITCHES.get(a, a.replace("/", "\\")) for a in args]
    done = subprocess.run([vok, *args], env={**os.environ, "VOK_HOME": home},
                          capture_output=True, check=False, cwd=cwd)
    return done.returncode, done.stderr.decode()
