"""What the end-to-end tests share: a small ledger report, its recipe, the
files of a test's own folder, and a picture of a folder tree to tell that
nothing in it changed."""

import os
import subprocess


def crlf(*lines):
    return "".join(line + "\r\n" for line in lines)


REPORT = crlf("LEDGER REPORT",
              "ACCOUNT NO  DESCRIPTION         AMOUNT",
              "----------  ------------------  ---------",
              "1000-00    Cash in bank         1,234.50",
              "2000-00    Payables             (12.00)",
              "3000-00    Capital              9,000.00",
              "",
              "                          TOTALS 10,222.50")


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
