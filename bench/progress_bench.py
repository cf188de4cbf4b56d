#!/usr/bin/env python3
"""What the progress line costs a long job, run by hand (never by the tests):

    bench/progress_bench.py [--lines N] [--runs R] [--work DIR]

Generates a ledger of N lines (default 10,000,000: about 1.06 GB) with a
one-table recipe, then converts it to CSV R times each way (default 5), the
two ways taking turns (each first every other round, after a sync) so that
drift of the machine falls on both alike:
  line   standard error on a pseudo-terminal: the progress line is drawn
  quiet  the same terminal with --quiet: no line
and prints the median wall-clock time and the median processor time (user and
system, all of vok's threads) of each, and the differences. On a shared
machine the processor time is the steadier figure."""
import argparse
import os
import pty
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../build"))
VOK = os.path.join(BUILD, "vok")
TEMPLATE = ("-------- --------------------------- ------------ -------------- "
            "--------------- ---------------")


def generate(path, lines):
    words = ["OFFICE SUPPLIES", "FREIGHT IN", "RENT - WAREHOUSE", "PAYROLL ACCRUAL"]
    block = "".join("%04d-%02d  %-25s  %02d/%02d/2026  %13.2f  %13.2f  %14.2f\r\n"
                    % (1000 + i % 9000, i % 100, words[i % 4], 1 + i % 12, 1 + i % 28,
                       (i * 7919 % 1000000) / 100, (i * 104729 % 800000) / 100, i / 7)
                    for i in range(10000))
    with open(path, "w", newline="") as f:
        f.write("GENERAL LEDGER DETAIL\r\nACCOUNT  DESCRIPTION\r\n")
        for _ in range(lines // 10000):
            f.write(block)
        f.write("END OF REPORT\r\n")


def run_on_terminal(args, env):
    controller, terminal = pty.openpty()
    began = time.monotonic()
    run = subprocess.Popen([VOK] + args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=terminal, env=env)
    os.close(terminal)
    drawn = 0
    while True:
        try:
            data = os.read(controller, 65536)
        except OSError:
            break
        if not data:
            break
        drawn += data.count(b"\rfile ")
    _, status, usage = os.wait4(run.pid, 0)
    seconds = time.monotonic() - began
    run.returncode = os.waitstatus_to_exitcode(status)
    os.close(controller)
    if run.returncode != 0:
        sys.exit("vok failed with status %d" % run.returncode)
    return seconds, usage.ru_utime + usage.ru_stime, drawn


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lines", type=int, default=10_000_000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work")
    options = parser.parse_args()
    work = options.work or tempfile.mkdtemp(prefix="vok-progress-bench-")
    os.makedirs(os.path.join(work, "home"), exist_ok=True)
    report = os.path.join(work, "ledger-%d.txt" % options.lines)
    if not os.path.exists(report):
        print("generating %d lines..." % options.lines, flush=True)
        generate(report, options.lines)
    recipe = os.path.join(work, "ledger.rcp")
    with open(recipe, "w", newline="") as f:
        f.write("[Table 1]\r\nReadStartLine=ACCOUNT\r\nReadStartLineOffset=1\r\n"
                "ReadEndLine=END OF REPORT\r\nReadEndLineOffset=-1\r\n"
                "Parsing=%s\r\nWriteColumn=A\r\n" % TEMPLATE)
    env = dict(os.environ, VOK_HOME=os.path.join(work, "home"), TERM="xterm")
    output = os.path.join(work, "ledger.csv")
    args = ["-i", report, "-r", recipe, "-o", output]
    print("report: %.2f GB" % (os.path.getsize(report) / 1e9))
    wall = {"line": [], "quiet": []}
    cpu = {"line": [], "quiet": []}
    draws = []
    run_on_terminal(args + ["-q"], env)  # the report into the page cache
    ways = [("line", []), ("quiet", ["-q"])]
    for round in range(options.runs):
        # Each way goes first every other round, and every run starts with the
        # disk's write-back of the run before done, which else falls on it.
        for way, extra in ways if round % 2 == 0 else ways[::-1]:
            os.remove(output)
            os.sync()
            seconds, processor, drawn = run_on_terminal(args + extra, env)
            wall[way].append(seconds)
            cpu[way].append(processor)
            if way == "line":
                draws.append(drawn)
    print("lines drawn per run: %s" % draws)
    for name, figures in (("wall-clock", wall), ("processor", cpu)):
        line, quiet = statistics.median(figures["line"]), statistics.median(figures["quiet"])
        print("%-10s with the line %.3f s, with --quiet %.3f s: the line costs %+.3f s, %+.2f%%"
              % (name, line, quiet, line - quiet, 100 * (line - quiet) / quiet))
        print("           runs with the line: %s" % " ".join("%.3f" % t for t in figures["line"]))
        print("           runs with --quiet:  %s" % " ".join("%.3f" % t for t in figures["quiet"]))


if __name__ == "__main__":
    main()
