#!/usr/bin/env bash
# What leaving lines out and carrying group values cost: one ledger of about
# 100 MB printed over pages (a form feed and three heading lines every 60
# lines, department and account group lines, sub-totals, blank lines)
# converted to CSV twice: by a recipe with 5 skip texts, blank lines and page
# headers left out and 2 groups carried onto the rows, and by the same recipe
# without those keys (every line a row). Prints the median wall time of each,
# the report's MB/s and the first as a share of the second's speed.
#
#   bench/page_breaks.sh [MEGABYTES] [RUNS]     (default 100 and 3)
#   VOK=/path/to/vok bench/page_breaks.sh      (that program, not build/vok)
#   OUT_DIR=/dev/shm bench/page_breaks.sh     (the CSV written there: a RAM
#                                               disk leaves the disk's own
#                                               speed out of the figures)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
vok=${VOK:-"$root/build/vok"}
megabytes=${1:-100}
runs=${2:-3}
[ -x "$vok" ] || { echo "page_breaks.sh: $vok is missing; build it first" >&2; exit 1; }
work=$(mktemp -d /tmp/vok-bench-pages.XXXXXX)
# BENCH_KEEP=1 keeps the report and the recipes for a profiler.
if [ -z "${BENCH_KEEP:-}" ]; then trap 'rm -rf "$work"' EXIT; else echo "work folder: $work"; fi
export VOK_HOME="$work/home"
mkdir -p "$VOK_HOME"

/usr/bin/python3 - "$work/ledger.txt" "$megabytes" <<'EOF'
import sys
path, megabytes = sys.argv[1], int(sys.argv[2])
target = megabytes * 1000 * 1000
out = open(path, "w", newline="")
written, line_no, page = 0, 0, 0
block = []
def emit(text):
    global line_no, page
    if line_no % 60 == 0:
        page += 1
        block.append("\fNORTHWIND DISTRIBUTION LTD         GENERAL LEDGER DETAIL        PAGE %6d\r\n" % page)
        block.append("DATE       REFERENCE    DESCRIPTION                          AMOUNT\r\n")
        block.append("---------- -----------  ------------------------------ ------------\r\n")
        line_no += 3
    block.append(text + "\r\n")
    line_no += 1
out.write("LEDGER START\r\n")
dept = 0
while written < target:
    dept += 1
    emit("DEPARTMENT: %03d BRANCH %d" % (dept % 1000, dept))
    for account in range(10):
        emit("ACCOUNT: %04d EXPENSE GROUP %d" % (4000 + account, account))
        for entry in range(40):
            n = dept * 1000 + account * 40 + entry
            emit("%02d/%02d/2026 INV-%07d  %-30s %12s" % (
                1 + n % 12, 1 + n % 28, n % 10_000_000, "Customer %d order %d" % (n % 997, n),
                "{:,.2f}".format((n * 37 % 1_000_000) / 100)))
        emit(" " * 24 + "%-30s %12s" % ("ACCOUNT SUB-TOTAL", "99,999.99"))
        emit(" " * 24 + "%-30s %12s" % ("CARRIED FORWARD", "1.00"))
        emit("")
    emit(" " * 24 + "%-30s %12s" % ("DEPARTMENT TOTAL", "999,999.99"))
    emit(" " * 24 + "*** REVIEWED ***")
    emit(" " * 24 + "(CONTINUED)")
    emit("")
    if len(block) > 20000:
        text = "".join(block)
        out.write(text)
        written += len(text)
        block.clear()
out.write("".join(block))
out.write("LEDGER END\r\n")
EOF

template="---------- ------------ ------------------------------ ------------"
common="[Header]
Product=VOK-B
FileType=RECIPE
FileFormat=1.0
[Table 1]
ReadStartLine=LEDGER START
ReadStartLineOffset=1
ReadEndLine=LEDGER END
ReadEndLineOffset=-1
Parsing=$template
WriteColumn=A"
printf '%s\n' "$common" >"$work/plain.rcp"
printf '%s\n' "$common" "SkipLine1=SUB-TOTAL" "SkipLine2=CARRIED FORWARD" \
    "SkipLine3=DEPARTMENT TOTAL" "SkipLine4=REVIEWED" "SkipLine5=(CONTINUED)" \
    "SkipBlankLines=YES" "PageHeaderLines=3" \
    "GroupLine1=DEPARTMENT:" "GroupParsing1=            --- ----------------" "GroupWriteColumn1=E" \
    "GroupLine2=ACCOUNT:" "GroupParsing2=         ---- -------------------" "GroupWriteColumn2=G" \
    >"$work/rules.rcp"

# Both recipes RUNS times, taking turns so that a change in the machine's
# load falls on both alike; the medians of wall time and of processor time
# (user + system, from the kernel's accounting in microseconds).
out_dir=$(mktemp -d "${OUT_DIR:-$work}/vok-bench-out.XXXXXX")
/usr/bin/python3 - "$vok" "$work" "$runs" "$out_dir" <<'EOF'
import os, resource, statistics, subprocess, sys, time
vok, work, runs, out_dir = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
report = os.path.join(work, "ledger.txt")
out = os.path.join(out_dir, "out.csv")

def run(recipe):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run([vok, "-i", report, "-r", os.path.join(work, recipe), "-o", out],
                   check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    with open(out, "rb") as f:
        rows = sum(block.count(b"\n") for block in iter(lambda: f.read(1 << 20), b""))
    return wall, cpu, rows

times = {"plain.rcp": [], "rules.rcp": []}
rows = {}
for _ in range(runs):
    for recipe in times:
        wall, cpu, rows[recipe] = run(recipe)
        times[recipe].append((wall, cpu))
mb = os.path.getsize(report) / 1e6
median = {r: (statistics.median(w for w, _ in t), statistics.median(c for _, c in t))
          for r, t in times.items()}
(plain, plain_cpu), (rules, rules_cpu) = median["plain.rcp"], median["rules.rcp"]
print(f"report: {mb:.1f} MB; medians of {runs} runs each: wall time, processor time")
print(f"without the keys:                 {plain:6.3f} s {plain_cpu:6.3f} s cpu  "
      f"{mb / plain:7.1f} MB/s  {rows['plain.rcp']:>10,} rows")
print(f"5 skip texts, 2 groups, headers:  {rules:6.3f} s {rules_cpu:6.3f} s cpu  "
      f"{mb / rules:7.1f} MB/s  {rows['rules.rcp']:>10,} rows")
print(f"speed with the keys: {100 * plain / rules:.0f}% of the speed without them by wall "
      f"time, {100 * plain_cpu / rules_cpu:.0f}% by processor time (goal: 70% or more)")
EOF
rm -rf "$out_dir"
