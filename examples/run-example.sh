#!/usr/bin/env bash
# The bundled example job: converts the example reports and says where the
# output is. run.sh calls it when it is given no arguments.
set -uo pipefail
examples=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$examples")
vok="$root/build/vok"
out="$root/build/examples-output"
mkdir -p "$out"
# The program folder of the example runs (config.ini, working files).
export VOK_HOME="$out/home"

status=0
convert() {
    local what=$1; shift
    echo "== $what"
    if "$vok" "$@"; then :; else status=1; fi
}

convert "Trial balance with a recipe, to CSV" \
    -i "$examples/trial-balance.txt" -r "$examples/trial-balance.rcp" -o "$out/trial-balance.csv"
convert "Marked-up trial balance, to CSV" \
    -i "$examples/trial-balance-marked.txt" -o "$out/trial-balance-marked.csv"
convert "General ledger with a derived layout, to CSV" \
    -i "$examples/general-ledger.txt" -r "$examples/general-ledger.rcp" -o "$out/general-ledger.csv"
convert "Trial balance with a recipe, to .xlsx and .xls workbooks" \
    -i "$examples/trial-balance.txt" -r "$examples/trial-balance.rcp" -o "$out/trial-balance.xlsx"
"$vok" -i "$examples/trial-balance.txt" -r "$examples/trial-balance.rcp" -o "$out/trial-balance.xls" || status=1
convert "General ledger with a title and a consolidation by department, to a workbook" \
    -i "$examples/general-ledger.txt" -r "$examples/general-ledger-by-department.t2x" \
    -o "$out/general-ledger-by-department.xlsx"
convert "Month-end ledger over several pages (page headers, sub-totals and blank lines left out, department and account on every row), to CSV and .xlsx" \
    -i "$examples/monthly-ledger-pages.txt" -r "$examples/monthly-ledger-pages.rcp" \
    -o "$out/monthly-ledger-pages.csv"
"$vok" -i "$examples/monthly-ledger-pages.txt" -r "$examples/monthly-ledger-pages.rcp" \
    -o "$out/monthly-ledger-pages.xlsx" || status=1
convert "Vendor list with tab characters, to CSV" \
    -i "$examples/vendor-balances-tabs.txt" -r "$examples/vendor-balances-tabs.rcp" \
    -o "$out/vendor-balances.csv"

echo
echo "The output is in $out:"
ls -1 "$out" | grep -v '^home$' | sed 's/^/  /'
exit $status
