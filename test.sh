#!/usr/bin/env bash
# Installs what is missing, builds, then runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
source "$root/scripts/setup.sh"
vok_install_packages
# The tests' build treats any warning in vok's own code as an error.
vok_build -DVOK_WERROR=ON
cd "$root/build"
ctest --output-on-failure -j "$(nproc)"
