#!/usr/bin/env bash
# Installs what is missing, builds, then runs build/vok with the given arguments.
# With no arguments it runs the bundled example job.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
source "$root/scripts/setup.sh"
vok_install_packages
# The build speaks only when it fails.
log=$(mktemp)
if ! vok_build >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    exit 1
fi
rm -f "$log"
if [ $# -eq 0 ]; then
    exec "$root/examples/run-example.sh"
fi
exec "$root/build/vok" "$@"
