#!/bin/sh
# Records the expected outputs the checksum tests compare with, in
# tests/data/expected, from a build of this tree (default build/):
#
#   scripts/record-expected-outputs.sh [BUILD_DIR]
#
# Only from a build trusted to write what the tests' recorded figures say
# (the tests still check those figures while recording and fail when the
# output differs), or together with new figures when a change of output is
# intended. Recording to make a failing test pass hides the fault it found.
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
export VOK_RECORD_EXPECTED=1
"$build_dir/test_e2e" --gtest_filter='OutputChecksum.*'
VOK_BUILD_DIR="$build_dir" VOK_SOURCE_DIR="$source_dir" \
    /usr/bin/python3 "$source_dir/tests/e2e/workbook_checksum_test.py"
git -C "$source_dir" status --short tests/data/expected
