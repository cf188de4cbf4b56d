#!/usr/bin/env bash
# Builds the Debian package build/package/vok_<version>_<arch>.deb: the files
# `cmake --install` lays out under /usr, stripped, with the dependencies
# dpkg-shlibdeps computes from the libraries the programs and the workbook
# module link. There are no maintainer scripts: the menu, MIME, icon and man
# databases are brought up to date by the triggers of their own packages.
#   scripts/package.sh              installs what is missing, builds, packages
#   scripts/package.sh --no-build   packages build/ as it stands (the tests;
#                                   VOK_BUILD_DIR names another build folder)
set -euo pipefail
umask 022
source_root=$(cd "$(dirname "$0")/.." && pwd)
build="${VOK_BUILD_DIR:-$source_root/build}"
if [ "${1:-}" != "--no-build" ]; then
    source "$source_root/scripts/setup.sh"
    vok_install_packages
    cmake -S "$source_root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j "$(nproc)" \
        --target vok vok-desktop vok-workbook vok-xlsx vok-packaging-files >&2
fi
fail() {
    echo "package: $*" >&2
    exit 1
}
command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps is missing (apt-get install dpkg-dev)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no version in $build/CMakeCache.txt; build vok first"
arch=$(dpkg --print-architecture)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
# The files, as the package installs them.
DESTDIR="$root" cmake --install "$build" --prefix /usr --strip >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "the install into $root failed"; }
chmod 0755 "$root"
elves=("$root/usr/bin/vok" "$root/usr/bin/vok-desktop" "$root/usr/lib/vok/libvok-workbook.so"
       "$root/usr/lib/vok/libvok-xlsx.so" "$root/usr/lib/vok/vok-pdf-text")
# What --strip leaves that no one reads at run time.
strip --remove-section=.comment --remove-section=.note "${elves[@]}"

# Depends, from the libraries (dpkg-shlibdeps wants a debian/control to stand in).
mkdir -p "$work/debian"
: >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O "${elves[@]/#/-e}" 2>"$work/shlibdeps.log" |
    sed -n 's/^shlibs:Depends=//p') || true
[ -n "$depends" ] || { cat "$work/shlibdeps.log" >&2; fail "dpkg-shlibdeps found no dependencies"; }
# A database job loads SQLite when it starts (the programs do not link it, so
# dpkg-shlibdeps cannot see it); its upserts need 3.24.
depends="$depends, libsqlite3-0 (>= 3.24)"

mkdir -m 0755 "$root/DEBIAN"
size=$(du -sk --apparent-size "$root/usr" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" \
    -e "s/@DEPENDS@/$depends/" "$source_root/packaging/control.in" >"$root/DEBIAN/control"
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

mkdir -p "$build/package"
deb="$build/package/vok_${version}_${arch}.deb"
dpkg-deb --root-owner-group --build "$root" "$deb.part" >/dev/null
mv "$deb.part" "$deb"
echo "$deb"
