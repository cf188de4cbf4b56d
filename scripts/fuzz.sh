#!/usr/bin/env bash
# Builds the fuzz harnesses with clang and libFuzzer (address and
# undefined-behaviour sanitizers) in build-fuzz/, then fuzzes each for
# SECONDS (default 60), one after the other.
#
#   scripts/fuzz.sh [SECONDS] [HARNESS ...]   fuzz all harnesses, or those named
#   scripts/fuzz.sh --merge [HARNESS ...]     add the inputs of build-fuzz/corpus
#                                             that reach new code to the seed
#                                             corpora in tests/fuzz/corpus
#
# Each harness starts from its seeds (tests/fuzz/corpus/NAME) and keeps what it
# learns in build-fuzz/corpus/NAME. A crash, leak or hang is written to
# build-fuzz/findings/NAME/; the script then ends with status 1. After fixing
# it, copy the input into tests/fuzz/corpus/NAME, where ./test.sh runs it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
all=(command_line sectioned_file recipe_expansion long_format template_analyser report_reader
     xlsx_package xlsx_sheet xlsx_lazy xls_reader xls_records pdf_reader)

merge=false
seconds=60
if [ "${1:-}" = "--merge" ]; then
    merge=true
    shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=("${all[@]}")

source "$root/scripts/setup.sh"
VOK_PACKAGES+=(clang libclang-rt-14-dev)
vok_install_packages

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVOK_FUZZ=ON -DVOK_BUILD_TESTS=OFF >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h"); done
cmake --build "$build" -j2 --target "${targets[@]}" >&2

status=0
for h in "${harnesses[@]}"; do
    seeds="$root/tests/fuzz/corpus/$h"
    corpus="$build/corpus/$h"
    findings="$build/findings/$h"
    mkdir -p "$corpus" "$findings"
    if $merge; then
        "$build/fuzz_$h" -merge=1 "$seeds" "$corpus" 2>&1 | tail -1
        continue
    fi
    echo "== $h: $seconds s" >&2
    log="$build/findings/$h.log"
    # Leaks are reported by the sanitizers' own build (check-sanitizers.sh);
    # here they would stop the run at the first one.
    if ! ASAN_OPTIONS=detect_leaks=0 "$build/fuzz_$h" -max_total_time="$seconds" \
        -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1; then
        status=1
        echo "   FINDING: see $log and $findings/" >&2
    fi
    execs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "   executions: ${execs:-?}, corpus: $(ls "$corpus" | wc -l) new + $(ls "$seeds" | wc -l) seeds" >&2
done
exit $status
