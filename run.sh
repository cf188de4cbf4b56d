#!/usr/bin/env bash
# Installs what is missing, builds, then runs build/vok with the given arguments.
# With no arguments it runs the bundled example job.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
source "$root/scripts/setup.sh"
vok_install_packages
vok_build >/dev/null
if [ $# -eq 0 ]; then
    exec "$root/examples/run-example.sh"
fi
exec "$root/build/vok" "$@"
