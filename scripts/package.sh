#!/usr/bin/env bash
# Builds the Debian package of Solvane from this checkout:
# solvane_<version>_<arch>.deb, and solvane-dbgsym_<version>_<arch>.deb with
# the debug information split off the stripped programs. The programs are
# built with Debian's hardening flags, solvane-cli linked dynamically, and
# the dependencies are computed from the binaries (dpkg-shlibdeps).
# Usage: scripts/package.sh [output folder, default dist/ in the repository]
# Environment: BUILD_DIR (default build-package), SOLVANE_JOBS (default: number of cores).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
# shellcheck disable=SC2086
solvane_install_packages $SOLVANE_BUILD_PACKAGES $SOLVANE_PACKAGE_PACKAGES

out="$(mkdir -p "${1:-$root/dist}" && cd "${1:-$root/dist}" && pwd)"
build="${BUILD_DIR:-$root/build-package}"
jobs="${SOLVANE_JOBS:-$(nproc)}"
debian="$root/packaging/debian"

version="$(sed -n 's/^project(Solvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
logged="$(sed -n '1s/^solvane (\([^)]*\)).*/\1/p' "$debian/changelog")"
if [ -z "$version" ] || [ "$version" != "$logged" ]; then
    echo "package.sh: the project's version ($version) has no entry on top of packaging/debian/changelog ($logged)" >&2
    exit 1
fi
arch="$(dpkg --print-architecture)"
# Every file dated as the release, so that the same checkout gives the same package.
SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l "$debian/changelog" -STimestamp)"
export SOURCE_DATE_EPOCH

# Debian's flags: hardening, and the source folder mapped away for
# reproducible builds (dpkg-buildflags reads the folder it is run in).
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
cxxflags="$(cd "$root" && dpkg-buildflags --get CPPFLAGS) $(cd "$root" && dpkg-buildflags --get CXXFLAGS)"
ldflags="$(cd "$root" && dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DSOLVANE_BUILD_TESTS=OFF -DSOLVANE_STATIC_CLI=OFF \
    "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build "$build" -j "$jobs" --target solvane solvane-cli solvane-cli-sound

# Laid out as debhelper does, so that dpkg-shlibdeps finds what it expects.
work="$build/deb"
pkg="$work/debian/solvane"
dbg="$work/debian/solvane-dbgsym"
rm -rf "$work"
mkdir -p "$pkg/DEBIAN" "$dbg/DEBIAN"
DESTDIR="$pkg" cmake --install "$build" >/dev/null

programs=(usr/bin/solvane usr/bin/solvane-cli usr/libexec/solvane/solvane-cli-sound)
ids=()
for program in "${programs[@]}"; do
    id="$(readelf -n "$pkg/$program" | sed -n 's/.*Build ID: *\([0-9a-f]*\).*/\1/p')"
    [ -n "$id" ] || { echo "package.sh: $program has no build id" >&2; exit 1; }
    mkdir -p "$dbg/usr/lib/debug/.build-id/${id:0:2}"
    objcopy --only-keep-debug --compress-debug-sections "$pkg/$program" "$dbg/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"
    strip --remove-section=.comment --remove-section=.note "$pkg/$program"
    ids+=("$id")
done

doc="$pkg/usr/share/doc/solvane"
install -m 0644 "$debian/copyright" "$debian/README.Debian" "$doc/"
gzip -9n -c "$debian/changelog" >"$doc/changelog.gz"
gzip -9n "$pkg"/usr/share/man/man1/*.1
mkdir -p "$dbg/usr/share/doc"
ln -s solvane "$dbg/usr/share/doc/solvane-dbgsym"

find "$pkg" "$dbg" -type d -exec chmod 0755 {} +
find "$pkg" "$dbg" -type f -exec chmod 0644 {} +
for program in "${programs[@]}"; do chmod 0755 "$pkg/$program"; done
find "$pkg" "$dbg" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

printf 'Source: solvane\nMaintainer: x <x@x.invalid>\n\nPackage: solvane\nArchitecture: any\n' >"$work/debian/control"
depends="$(cd "$work" && dpkg-shlibdeps -O "${programs[@]/#/-edebian/solvane/}" | sed -n 's/^shlibs:Depends=//p')"
[ -n "$depends" ] || { echo "package.sh: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

# Writes a package's control file from its template and builds it.
make_deb() {
    local dir="$1" template="$2" name="$3"
    (cd "$dir" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$dir/DEBIAN/md5sums"
    chmod 0644 "$dir/DEBIAN/md5sums"
    local size
    size="$(du -k -s --apparent-size --exclude=DEBIAN "$dir" | cut -f1)"
    sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@INSTALLED_SIZE@/$size/" \
        -e "s/@DEPENDS@/$depends/" -e "s/@BUILD_IDS@/${ids[*]}/" "$template" >"$dir/DEBIAN/control"
    touch -d "@$SOURCE_DATE_EPOCH" "$dir/DEBIAN" "$dir/DEBIAN/control" "$dir/DEBIAN/md5sums"
    dpkg-deb --root-owner-group -Zxz --build "$dir" "$out/${name}_${version}_${arch}.deb" >/dev/null
    echo "$out/${name}_${version}_${arch}.deb"
}
make_deb "$pkg" "$debian/control.in" solvane
make_deb "$dbg" "$debian/control-dbgsym.in" solvane-dbgsym
