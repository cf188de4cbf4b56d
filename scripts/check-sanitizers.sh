#!/usr/bin/env bash
# Builds vok and its tests with the address and undefined-behaviour
# sanitizers in build-asan/ and runs the whole test suite there: end-to-end
# and script tests run the sanitized program. Any finding fails its test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-asan"
source "$root/scripts/setup.sh"
vok_install_packages

flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j "$(nproc)" >&2
cd "$build"
# The sanitized program aborts on its first finding, which fails the test
# that ran it; a preloaded library (the fault-injection test) may come first.
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:verify_asan_link_order=0"
# System libraries' own leaks are not ours to fix.
export LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --output-on-failure -j "$(nproc)" --timeout 1500
