#!/usr/bin/env bash
# Times vok beside peer tools (gawk, mawk, pandas, cat) on the same generated
# reports and prints one table of wall time, throughput, peak memory and how
# many times faster vok is. From a fresh clone it installs what is missing and
# builds the program first (only vok and its workbook module); VOK=path runs
# another build of vok as it stands. See bench/README.md for the workloads and
# how to read the table.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: bench/compare.sh [--quick] [--big] [--no-pandas] [--self-check] [--keep]
                         [--folders-on-disk]
       VOK=/path/to/vok bench/compare.sh ...   (that program, not build/vok)

  --quick       one run of each tool on smaller workloads (about a minute)
  --big         also a 1 GB ledger (vok, gawk, mawk and cat only)
  --no-pandas   leave pandas out (it is by far the slowest peer)
  --self-check  tiny workloads, one run each, every output checked: shows
                that the generators, the peers and the table work
  --keep        keep the work folder (always kept when BENCH_DIR is set)
  --folders-on-disk
                the folder jobs write into the work folder, not into RAM
                (/dev/shm): see bench/README.md before reading those lines

The workloads go to $BENCH_DIR, or to a fresh folder under /tmp that is
removed at the end unless --keep is given or a check failed.
EOF
}

quick=0 big=0 pandas=1 selfcheck=0 keep=0 folders_on_disk=0
for arg in "$@"; do
    case $arg in
    --quick) quick=1 ;;
    --big) big=1 ;;
    --no-pandas) pandas=0 ;;
    --self-check) selfcheck=1 ;;
    --keep) keep=1 ;;
    --folders-on-disk) folders_on_disk=1 ;;
    -h | --help)
        usage
        exit 0
        ;;
    *)
        echo "compare.sh: unknown option $arg" >&2
        usage >&2
        exit 2
        ;;
    esac
done

die() {
    echo "compare.sh: $*" >&2
    exit 1
}

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The packages every tool needs, and build/vok up to date with the sources:
# what a fresh clone lacks. Another program named by VOK runs as it stands.
if [ -z "${VOK:-}" ]; then
    # shellcheck source=../scripts/setup.sh
    source "$root/scripts/setup.sh"
    vok_install_packages
    echo "compare.sh: building vok" >&2
    build_log=$(mktemp /tmp/vok-bench-build.XXXXXX)
    if ! { cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
        cmake --build "$root/build" -j "$(nproc)" --target vok vok-workbook vok-xlsx; } >"$build_log" 2>&1; then
        tail -n 30 "$build_log" >&2
        die "the build of vok failed (the whole log: $build_log)"
    fi
    rm -f "$build_log"
fi
vok=${VOK:-"$root/build/vok"}
tools="$root/bench/compare_tools.py"
# Debian's interpreter: pandas, openpyxl and xlwt are Debian packages.
py=/usr/bin/python3
setup_hint="scripts/setup.sh installs it: source scripts/setup.sh && vok_install_packages"

[ -x "$vok" ] || die "$vok is missing or cannot be run"
[ -x "$py" ] || die "$py is missing (package python3); $setup_hint"
for t in gawk mawk cat sqlite3; do
    command -v "$t" >/dev/null || die "$t is missing; $setup_hint"
done
[ -x /usr/bin/time ] || die "GNU time (/usr/bin/time, package time) is missing; $setup_hint"
"$py" -c 'import openpyxl, xlrd' 2>/dev/null ||
    die "python3-openpyxl or python3-xlrd is missing; $setup_hint"
if [ "$pandas" = 1 ]; then
    "$py" -c 'import pandas, xlwt' 2>/dev/null ||
        die "python3-pandas or python3-xlwt is missing (or run with --no-pandas); $setup_hint"
fi

# Sizes: the full run, --quick, and --self-check.
if [ "$selfcheck" = 1 ]; then
    ledger_rows=1000 paged_list="2 4 8 16" folder_files=20 folder_big=40 xlsx_rows=300 xls_rows=200
    recipe_tables=20 marked_list="5 10 20" big_rows=3000 reps=1 small_reps=3 full_check=1
    pdf_pages=4
elif [ "$quick" = 1 ]; then
    ledger_rows=100000 paged_list="100 200 400 800" folder_files=200 folder_big=2000 xlsx_rows=20000
    xls_rows=6500 recipe_tables=500 marked_list="100 200 500" big_rows=10000000 reps=1
    small_reps=20 full_check=1 pdf_pages=40
else
    ledger_rows=1000000 paged_list="100 200 400 800" folder_files=2000 folder_big=20000 xlsx_rows=200000
    xls_rows=65000 recipe_tables=5000 marked_list="1000 2000 5000" big_rows=10000000 reps=3
    small_reps=20 full_check=0 pdf_pages=400
fi
[ "$selfcheck" = 1 ] && big=1 # the big ledger's steps, at a tiny size

created=0
if [ -n "${BENCH_DIR:-}" ]; then
    work=$BENCH_DIR
    mkdir -p "$work"
else
    work=$(mktemp -d /tmp/vok-bench.XXXXXX)
    created=1
fi
work=$(cd "$work" && pwd)
out="$work/out"
logs="$work/logs"
homes="$work/homes"
results="$work/results.tsv"
checks="$work/checks.tsv"
rm -rf "$out" "$logs" "$homes"
rm -f "$results" "$results.runs" "$checks"
mkdir -p "$out" "$logs"
# The folder jobs make and delete tens of thousands of small files. Where the
# disk's file system has no journal (ext4 here), the kernel will not reuse an
# inode freed in the last minutes and scans past every such one for each new
# file: the wall time then follows what ran before, not the tool. In RAM it
# follows the tool.
folder_out="$out"
folder_where="disk"
if [ "$folders_on_disk" = 0 ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    folder_out=$(mktemp -d /dev/shm/vok-bench-folders.XXXXXX)
    folder_where="RAM"
fi

finish() {
    local status=$?
    [ "$folder_out" != "$out" ] && rm -rf "$folder_out"
    if [ "$created" = 1 ] && [ "$keep" = 0 ] && [ "$status" = 0 ]; then
        rm -rf "$work"
    else
        echo "compare.sh: the workloads, outputs and logs are in $work" >&2
    fi
}
trap finish EXIT

say() { echo "compare.sh: $*" >&2; }
commas() { echo "$1" | sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/; ta'; }
mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { m = b / 1e6; printf(m < 10 ? "%.1f" : "%.0f", m) }'; }
gen() { "$py" "$tools" gen "$@"; }

# measure WORKLOAD LABEL TOOL REPS AMOUNT UNIT [runner options] -- COMMAND...
measure() {
    local workload=$1 label=$2 tool=$3 n=$4 amount=$5 unit=$6
    shift 6
    "$py" "$tools" run --results "$results" --logs "$logs" --workload "$workload" \
        --label "$label" --tool "$tool" --reps "$n" --amount "$amount" --unit "$unit" "$@"
}
check() { "$py" "$tools" check "$@" --checks "$checks"; }

# The peers' programs are files in the work folder, to be read beside the table.
"$py" "$tools" programs "$work" --ledger-rows "$ledger_rows" --big-rows "$big_rows" \
    --xlsx-rows "$xlsx_rows" --xls-rows "$xls_rows"
prog="$work/programs"

# ---- a. the ledger: one table of every row, to CSV --------------------------
ledger_run() { # NAME ROWS WORKLOAD PANDAS_SCRIPT
    local name=$1 rows=$2 workload=$3 pscript=$4
    say "generating $name ($(commas "$rows") rows)"
    gen ledger "$work" --name "$name" --size "$rows"
    local report="$work/$name.txt" bytes label
    bytes=$(stat -c %s "$report")
    label="$workload $(commas "$rows")x7 -> csv, $(mb "$report") MB"
    say "timing $label"
    measure "$workload" "$label" vok "$reps" "$bytes" MB --vok-home "$homes" \
        --remove "$out/$name.vok.csv" -- "$vok" -i "$report" -r "$work/$name.rcp" -o "$out/$name.vok.csv"
    for awk in gawk mawk; do
        measure "$workload" "$label" "$awk" "$reps" "$bytes" MB --stdout "$out/$name.$awk.csv" -- \
            "$awk" -v KEY=ACCOUNT -v OFF=2 -v STOP=----- -f "$prog/ledger.awk" "$report"
    done
    if [ "$pandas" = 1 ] && [ -n "$pscript" ]; then
        measure "$workload" "$label" pandas "$reps" "$bytes" MB -- \
            "$py" "$prog/$pscript" "$report" "$out/$name.pandas.csv"
        rm -f "$out/$name.pandas.csv"
    fi
    measure "$workload" "$label" "cat >file" "$reps" "$bytes" MB --stdin "$report" \
        --stdout "$out/$name.cat.txt" -- cat
    rm -f "$out/$name.cat.txt"
    check csv --workload "$workload" --what "vok and gawk CSV agree" \
        "$out/$name.vok.csv" "$out/$name.gawk.csv"
    check csv --workload "$workload" --what "mawk and gawk CSV agree" \
        "$out/$name.mawk.csv" "$out/$name.gawk.csv"
    rm -f "$out/$name.mawk.csv"
}

ledger_run ledger "$ledger_rows" ledger ledger_pandas.py

if [ "$selfcheck" = 1 ]; then
    # cat holds a few pages: a larger peak would be the harness's own memory.
    cat_mb=$(awk -F'\t' '$1 == "ledger" && $2 == "cat >file" {print $4}' "$results")
    if awk -v m="$cat_mb" 'BEGIN { exit !(m > 0 && m < 8) }'; then
        echo -e "ok\tledger\tpeak memory of cat is $cat_mb MB: the harness's own memory is not counted" >>"$checks"
    else
        echo -e "FAIL\tledger\tpeak memory of cat is $cat_mb MB: the harness's own memory is counted" >>"$checks"
    fi
    check checker --workload ledger --what "wrong output is caught" \
        "$out/ledger.vok.csv" "$out/ledger.gawk.csv"
fi

# ---- a2. the ledger into a SQLite database ------------------------------------
# The peer: the sqlite3 shell's own .import of the CSV vok wrote for the
# ledger, into a table made beforehand (one transaction, one prepared insert).
# vok stores two more columns a row (source_file, source_line) and indexes them.
label="ledger $(commas "$ledger_rows")x7 -> sqlite"
say "timing $label"
measure sqlite-ledger "$label" vok "$reps" "$ledger_rows" rows --vok-home "$homes" \
    --remove "$out/ledger.vok.db" -- "$vok" -i "$work/ledger.txt" -r "$work/ledger.rcp" -o "$out/ledger.vok.db"
measure sqlite-ledger "$label" "sqlite3 .import" "$reps" "$ledger_rows" rows \
    --remove "$out/ledger.import.db" -- sqlite3 "$out/ledger.import.db" \
    "CREATE TABLE t (A, B, C, D, E, F, G)" ".mode csv" ".import $out/ledger.vok.csv t"
vok_rows=$(sqlite3 "$out/ledger.vok.db" "SELECT count(*) FROM table_1")
import_rows=$(sqlite3 "$out/ledger.import.db" "SELECT count(*) FROM t")
if [ "$vok_rows" = "$import_rows" ] && [ "$vok_rows" = "$ledger_rows" ]; then
    echo -e "ok\tsqlite-ledger\tvok's database and the import hold $vok_rows rows each" >>"$checks"
else
    echo -e "FAIL\tsqlite-ledger\tvok's database holds $vok_rows rows, the import $import_rows" >>"$checks"
fi
rm -f "$out/ledger.vok.db" "$out/ledger.import.db"

# ---- a3. page breaks: lines left out and group values carried ---------------
# A ledger printed over pages (a form feed and two heading lines every 60
# lines, department and account group lines, sub-totals and blank lines): 5
# skip texts, blank lines and page headers left out, 2 groups' fields on every
# row. The peers: gawk and mawk doing the same (programs/pages.awk).
say "generating pages ($(commas "$ledger_rows") entries)"
gen pages "$work" --name pages --size "$ledger_rows"
bytes=$(stat -c %s "$work/pages.txt")
label="page breaks $(commas "$ledger_rows") entries -> csv, $(mb "$work/pages.txt") MB"
say "timing $label"
measure pages "$label" vok "$reps" "$bytes" MB --vok-home "$homes" --remove "$out/pages.vok.csv" -- \
    "$vok" -i "$work/pages.txt" -r "$work/pages.rcp" -o "$out/pages.vok.csv"
for awk in gawk mawk; do
    measure pages "$label" "$awk" "$reps" "$bytes" MB --stdout "$out/pages.$awk.csv" -- \
        "$awk" -f "$prog/pages.awk" "$work/pages.txt"
done
check csv --workload pages --what "vok and gawk CSV agree" "$out/pages.vok.csv" "$out/pages.gawk.csv"
check csv --workload pages --what "mawk and gawk CSV agree" "$out/pages.mawk.csv" "$out/pages.gawk.csv"
rm -f "$out/pages.vok.csv" "$out/pages.gawk.csv" "$out/pages.mawk.csv"

# ---- a4. a PDF report ----------------------------------------------------------
# A ledger of 50 rows a page printed to PDF by ghostscript; the page headings
# and blank lines left out. vok rebuilds the text of each page and converts
# it; the peer is pdftotext -layout piped into gawk cutting the same fields.
# The two rebuild the page text each their own way, so the check is that
# both find every row.
if command -v pdftotext >/dev/null && command -v gs >/dev/null; then
    say "generating a PDF of $(commas "$pdf_pages") pages"
    "$py" "$tools" gen pdf "$work" --name ledger-pdf --size "$pdf_pages"
    label="PDF $(commas "$pdf_pages") pages x 50 rows -> csv"
    say "timing $label"
    measure pdf "$label" vok "$reps" "$pdf_pages" pages --vok-home "$homes" --remove "$out/pdf.vok.csv" -- \
        "$vok" -i "$work/ledger-pdf.pdf" -r "$work/ledger-pdf.rcp" -o "$out/pdf.vok.csv"
    measure pdf "$label" "pdftotext|gawk" "$reps" "$pdf_pages" pages --stdout "$out/pdf.awk.csv" -- \
        sh -c 'pdftotext -layout "$1" - | gawk -f "$2"' sh "$work/ledger-pdf.pdf" "$prog/pdf.awk"
    want=$((pdf_pages * 50))
    vok_rows=$(wc -l <"$out/pdf.vok.csv")
    awk_rows=$(wc -l <"$out/pdf.awk.csv")
    if [ "$vok_rows" = "$want" ] && [ "$awk_rows" = "$want" ]; then
        echo -e "ok\tpdf\tvok and pdftotext|gawk each found the $want rows" >>"$checks"
    else
        echo -e "FAIL\tpdf\tvok found $vok_rows rows, pdftotext|gawk $awk_rows, of $want" >>"$checks"
    fi
    rm -f "$out/pdf.vok.csv" "$out/pdf.awk.csv"
else
    say "no pdftotext or ghostscript: the PDF workload is left out"
fi

# ---- b. paged reports: one table per 50-line page ---------------------------
for n in $paged_list; do
    name="paged-$n"
    say "generating $name"
    gen paged "$work" --name "$name" --size "$n" --rows 44
    report="$work/$name.txt"
    label="paged $n tables x 44 rows -> csv"
    say "timing $label"
    measure "$name" "$label" vok "$reps" "$n" tables --vok-home "$homes" --remove "$out/$name.vok.csv" -- \
        "$vok" -i "$report" -r "$work/$name.rcp" -o "$out/$name.vok.csv"
    for awk in gawk mawk; do
        measure "$name" "$label" "$awk" "$reps" "$n" tables --stdout "$out/$name.$awk.csv" -- \
            "$awk" -v 'KEY=PAGE ' -v OFF=5 -v 'STOP=TOTAL FOR PAGE' -f "$prog/paged.awk" "$report"
    done
    check csv --workload "$name" --what "vok and gawk CSV agree" "$out/$name.vok.csv" "$out/$name.gawk.csv"
done

# ---- c. folders of small reports ----------------------------------------------
# The same job on a folder and on one ten times its size: what each file
# costs once the job has started. The awks run once over every file.
folder_run() { # WORKLOAD FILES
    local workload=$1 files=$2
    local name="$workload-files" label
    say "generating $(commas "$files") small reports"
    gen folder "$work" --name "$name" --size "$files"
    label="folder $(commas "$files") files x 20 lines -> csv in $folder_where"
    say "timing $label"
    measure "$workload" "$label" vok "$reps" "$files" files --vok-home "$homes" \
        --remove "$folder_out/$name-vok" -- \
        "$vok" -i "$work/$name/*.txt" -s -r "$work/$name.rcp" -o "$folder_out/$name-vok/*.csv"
    local inputs=()
    shopt -s nullglob
    inputs=("$work/$name"/day*/*.txt)
    shopt -u nullglob
    # awk cannot make folders: the sub-folders its outputs go to are made
    # before it runs.
    local subs=() sub
    for sub in "$work/$name"/day*/; do subs+=("$(basename "$sub")"); done
    for awk in gawk mawk; do
        local mkdirs=()
        for sub in "${subs[@]}"; do mkdirs+=(--mkdir "$folder_out/$name-$awk/$sub"); done
        measure "$workload" "$label" "$awk" "$reps" "$files" files --remove "$folder_out/$name-$awk" \
            "${mkdirs[@]}" -- "$awk" -v 'KEY=ITEM NO' -v OFF=2 -v 'STOP=STORE TOTAL' \
            -v "OUTDIR=$folder_out/$name-$awk" -f "$prog/store.awk" "${inputs[@]}"
    done
    check folder --workload "$workload" --what "vok's and gawk's files agree" --rows "$files" \
        "$folder_out/$name-vok" "$folder_out/$name-gawk"
    rm -rf "$folder_out/$name-vok" "$folder_out/$name-gawk" "$folder_out/$name-mawk"
}
folder_run folder "$folder_files"
folder_run folder-big "$folder_big"

# ---- d. sales lines to workbooks ---------------------------------------------
book_run() { # WORKLOAD ROWS EXT PANDAS_SCRIPT ENGINE
    local workload=$1 rows=$2 ext=$3 pscript=$4 engine=$5
    local name="sales-$rows"
    say "generating $name"
    gen sales "$work" --name "$name" --size "$rows"
    local report="$work/$name.txt" label
    label="sales $(commas "$rows")x10 -> $ext"
    say "timing $label"
    measure "$workload" "$label" vok "$reps" $((rows * 10)) cells --vok-home "$homes" \
        --remove "$out/$name.vok.$ext" -- "$vok" -i "$report" -r "$work/$name.rcp" -o "$out/$name.vok.$ext"
    if [ "$pandas" = 1 ]; then
        measure "$workload" "$label" pandas "$reps" $((rows * 10)) cells --remove "$out/$name.pandas.$ext" -- \
            "$py" "$prog/$pscript" "$report" "$out/$name.pandas.$ext" "$engine"
        rm -f "$out/$name.pandas.$ext"
    fi
    # gawk's CSV of the same lines is the reference the workbook is checked against.
    gawk -v KEY=SKU -v OFF=2 -v STOP=----- -f "$prog/sales.awk" "$report" >"$out/$name.gawk.csv"
    local full=()
    [ "$full_check" = 1 ] || [ "$ext" = xls ] && full=(--full)
    check workbook --workload "$workload" --what "vok's workbook holds the report's cells" \
        --rows "$rows" --cols 10 "${full[@]}" "$out/$name.vok.$ext" "$out/$name.gawk.csv"
}
book_run xlsx "$xlsx_rows" xlsx xlsx_pandas.py openpyxl
book_run xls "$xls_rows" xls xls_pandas.py xlwt

# ---- d2. a few rows into an existing large workbook ------------------------------
# The .xlsx vok made above (sheet 1 holds every sales row) is the existing
# workbook; each run writes a 20-line sales report into its sheet 2, the same
# rows over the last run's, so every run starts from the same workbook. The
# reference is the same report into a new workbook: the cost of the rows alone.
gen sales "$work" --name sales-20 --size 20
existing="$out/existing.xlsx"
cp "$out/sales-$xlsx_rows.vok.xlsx" "$existing"
label="20 rows into sheet 2 of a $(commas "$xlsx_rows")-row .xlsx"
say "timing $label"
measure existing-xlsx "$label" vok "$small_reps" 20 rows --vok-home "$homes" -- \
    "$vok" -i "$work/sales-20.txt" -r "$work/sales-20.rcp" -o "$existing" -w 2
measure existing-xlsx "$label" "vok, new .xlsx" "$small_reps" 20 rows --vok-home "$homes" \
    --remove "$out/sales-20.vok.xlsx" -- \
    "$vok" -i "$work/sales-20.txt" -r "$work/sales-20.rcp" -o "$out/sales-20.vok.xlsx"
check existing --workload existing-xlsx --what "the rows are in sheet 2, sheet 1 is as it was" \
    --rows 20 --cols 10 "$existing" "$out/sales-$xlsx_rows.vok.xlsx"
rm -f "$existing" "$out/sales-20.vok.xlsx"

# ---- e. many small tables: a recipe, and marked-up reports -------------------
small_tables() { # WORKLOAD TABLES KIND
    local workload=$1 n=$2 kind=$3
    local name="$kind-$n"
    say "generating $name"
    gen "$kind" "$work" --name "$name" --size "$n" --rows 4
    local report="$work/$name.txt" label recipe=()
    if [ "$kind" = paged ]; then
        label="recipe of $(commas "$n") tables x 4 rows -> csv"
        recipe=(-r "$work/$name.rcp")
    else
        label="marked-up $(commas "$n") tables x 4 rows -> csv"
    fi
    say "timing $label"
    measure "$workload" "$label" vok "$reps" "$n" tables --vok-home "$homes" --remove "$out/$name.vok.csv" -- \
        "$vok" -i "$report" "${recipe[@]}" -o "$out/$name.vok.csv"
    for awk in gawk mawk; do
        if [ "$kind" = paged ]; then
            measure "$workload" "$label" "$awk" "$reps" "$n" tables --stdout "$out/$name.$awk.csv" -- \
                "$awk" -v 'KEY=PAGE ' -v OFF=5 -v 'STOP=TOTAL FOR PAGE' -f "$prog/paged.awk" "$report"
        else
            measure "$workload" "$label" "$awk" "$reps" "$n" tables --stdout "$out/$name.$awk.csv" -- \
                "$awk" -f "$prog/marked.awk" "$report"
        fi
    done
    check csv --workload "$workload" --what "vok and gawk CSV agree" "$out/$name.vok.csv" "$out/$name.gawk.csv"
}
small_tables "recipe-$recipe_tables" "$recipe_tables" paged
for n in $marked_list; do
    small_tables "marked-$n" "$n" marked
done

# ---- e2. a marked-up report of many more tables: the cost per table ----------
# Time and peak memory grow with the tables; the target (at 20,000) is to be no
# slower than the faster awk in less than 32 MB.
marked_big=20000
[ "$quick" = 1 ] && marked_big=2000
[ "$selfcheck" = 1 ] && marked_big=40
small_tables "marked-$marked_big" "$marked_big" marked

# ---- f. the 1 GB ledger ------------------------------------------------------
if [ "$big" = 1 ]; then
    ledger_run ledger-big "$big_rows" ledger-big ""
    rm -f "$out/ledger-big.vok.csv" "$out/ledger-big.gawk.csv"
fi

# ---- start-up: --version and a one-table job ----------------------------------
say "timing start-up (median of $small_reps)"
measure version "vok --version / gawk --version" vok "$small_reps" 0 - --vok-home "$homes" -- "$vok" --version
measure version "vok --version / gawk --version" gawk "$small_reps" 0 - -- gawk --version
gen onetable "$work" --name onetable
label="one table x 20 rows -> csv"
measure onetable "$label" vok "$small_reps" 1 tables --vok-home "$homes" --remove "$out/onetable.vok.csv" -- \
    "$vok" -i "$work/onetable.txt" -r "$work/onetable.rcp" -o "$out/onetable.vok.csv"
measure onetable "$label" gawk "$small_reps" 1 tables --stdout "$out/onetable.gawk.csv" -- \
    gawk -v 'KEY=PAGE ' -v OFF=5 -v 'STOP=TOTAL FOR PAGE' -f "$prog/paged.awk" "$work/onetable.txt"
check csv --workload onetable --what "vok and gawk CSV agree" "$out/onetable.vok.csv" "$out/onetable.gawk.csv"

# ---- g. new .xlsx workbooks: a million rows (memory) and a one-table job --------
# Memory must not grow with the rows (target: at most 64 MB at 1,000,000 x 10
# cells, at 2.5 M cells/s or more); a job making a small workbook must start
# about as fast as a CSV job (target: 5 ms).
million_rows=1000000
[ "$quick" = 1 ] && million_rows=200000
[ "$selfcheck" = 1 ] && million_rows=3000
say "generating sales-million ($(commas "$million_rows") rows)"
gen sales "$work" --name sales-million --size "$million_rows"
label="sales $(commas "$million_rows")x10 -> new xlsx (memory)"
say "timing $label"
measure xlsx-million "$label" vok 1 $((million_rows * 10)) cells --vok-home "$homes" \
    --remove "$out/sales-million.vok.xlsx" -- \
    "$vok" -i "$work/sales-million.txt" -r "$work/sales-million.rcp" -o "$out/sales-million.vok.xlsx"
gawk -v KEY=SKU -v OFF=2 -v STOP=----- -f "$prog/sales.awk" "$work/sales-million.txt" \
    >"$out/sales-million.gawk.csv"
check workbook --workload xlsx-million --what "vok's workbook holds the report's cells" \
    --rows "$million_rows" --cols 10 "$out/sales-million.vok.xlsx" "$out/sales-million.gawk.csv"
rm -f "$out/sales-million.vok.xlsx" "$out/sales-million.gawk.csv"
label="one table x 20 rows -> new xlsx"
measure onetable-xlsx "$label" vok "$small_reps" 1 tables --vok-home "$homes" \
    --remove "$out/onetable.vok.xlsx" -- \
    "$vok" -i "$work/onetable.txt" -r "$work/onetable.rcp" -o "$out/onetable.vok.xlsx"

# ---- the table -----------------------------------------------------------------
echo
mode="full run, median of $reps"
[ "$quick" = 1 ] && mode="--quick, one run each"
[ "$selfcheck" = 1 ] && mode="--self-check, tiny workloads"
echo "vok beside its peers ($mode; start-up median of $small_reps; $(nproc) cores; $(date -u +%Y-%m-%d))"
echo
"$py" "$tools" table "$results" "$checks" || {
    echo
    die "an output check failed: see the FAIL lines above"
}
