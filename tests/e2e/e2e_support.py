"""What the end-to-end tests share: a small ledger report, its recipe, and
the files of a test's own folder."""

import os


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
