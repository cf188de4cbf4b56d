#!/usr/bin/env bash
# Installs the Debian packages vok needs (only those missing) and builds it into build/.
# Sourced by run.sh and test.sh, so both always work from a fresh clone.
set -euo pipefail

VOK_PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev
    libxlsxwriter-dev libzip-dev libexpat1-dev libgsf-1-dev libisal-dev
    libfmt-dev libgtest-dev
    # The tests read their expected outputs gzipped.
    zlib1g-dev
    # Database output; the sqlite3 shell is the peer bench/compare.sh times.
    libsqlite3-dev sqlite3
    # Reports printed to PDF: poppler's C++ interface reads them (the reader
    # process vok-pdf-text); the tests make PDFs with Qt and with
    # ghostscript, and cross-check them with poppler-utils.
    libpoppler-cpp-dev ghostscript poppler-utils
    python3 python3-openpyxl python3-xlrd
    # A font for windows drawn without a display (the editor's tests and
    # screenshots, the desktop's pictures); the desktop under a virtual X
    # server: scripts/screenshots.sh and the desktop's end-to-end test.
    fonts-dejavu-core xvfb xdotool imagemagick
    # The package and its checks (tests/e2e/package_test.py, install_test.py):
    # dpkg-shlibdeps, desktop-file-validate, appstreamcli, man.
    dpkg-dev desktop-file-utils appstream man-db
    # Only bench/compare.sh uses these: the peer tools it times vok against.
    gawk mawk python3-pandas python3-xlwt time
)

vok_missing_packages() {
    local missing=()
    for p in "${VOK_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    echo "${missing[@]:-}"
}

vok_install_packages() {
    local missing
    missing=$(vok_missing_packages)
    [ -z "$missing" ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: $missing" >&2
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >&2
}

# Extra arguments go to cmake's configure step (test.sh: -DVOK_WERROR=ON).
vok_build() {
    local root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$root/build" -j "$(nproc)" >&2
}
