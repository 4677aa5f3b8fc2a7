#!/usr/bin/env bash
# Checks a built package as a user gets it: lintian (no error allowed; every
# tag is shown), then apt-get install, the installed desktop entry, metainfo
# and manual pages, a conversion and a play to the trace output with the
# installed programs, and removal, after which nothing of the package may be
# left. Run as root (or with sudo) on a machine where solvane is not installed.
# Usage: scripts/check-package.sh solvane_<version>_<arch>.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
# shellcheck disable=SC2086
solvane_install_packages $SOLVANE_PACKAGE_CHECK_PACKAGES

[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: scripts/check-package.sh solvane_<version>_<arch>.deb" >&2; exit 64; }
deb="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
step() { printf -- '-- %s\n' "$1"; }
fail() { echo "check-package.sh: $*" >&2; exit 1; }
installed() { dpkg-query -W -f='${Status}' solvane 2>/dev/null | grep -q "install ok installed"; }

work="$(mktemp -d)"
ours=0
# A check that fails half-way leaves no package behind to fail the next run.
cleanup() {
    rm -rf "$work"
    if [ "$ours" -eq 1 ] && installed; then
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq solvane >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

step "lintian"
status=0
lintian --fail-on error --display-info "$deb" >"$work/lintian.txt" 2>&1 || status=$?
grep -v '^running with root privileges' "$work/lintian.txt" || echo "(no tags)"
[ "$status" -eq 0 ] || fail "lintian reports errors (exit $status)"

installed && fail "solvane is installed already: remove it first"
version="$(dpkg-deb -f "$deb" Version)"
mapfile -t files < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./|/|p' | grep -v '/$')

step "apt-get install"
ours=1
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
installed || fail "the package did not install"

step "desktop entry and metainfo"
desktop-file-validate /usr/share/applications/solvane.desktop
grep -qx 'MimeType=audio/midi;audio/x-midi;' /usr/share/applications/solvane.desktop || fail "no MIDI types"
grep -qx 'Exec=solvane %f' /usr/share/applications/solvane.desktop || fail "Exec takes no file"
appstreamcli validate --no-net /usr/share/metainfo/io.github.solvane.solvane.metainfo.xml
for size in 16 24 32 48 64 128 256; do
    [ -f "/usr/share/icons/hicolor/${size}x${size}/apps/solvane.png" ] || fail "no ${size} px icon"
done

step "manual pages"
# Every option and command that the programs' own help names is in its page.
words_solvane="$(/usr/bin/solvane --help | grep -o -- '--[a-z]*' | sort -u)"
words_solvane_cli="$( (/usr/bin/solvane-cli --help | grep -o -- '--[a-z]*'; echo convert play info ports render roll SOLVANE_LANG SOLVANE_SOUNDFONT) | sort -u)"
# Read from the package itself: a machine may keep dpkg from installing manual pages.
dpkg-deb -x "$deb" "$work/root"
for page in solvane solvane-cli; do
    path="$work/root/usr/share/man/man1/$page.1.gz"
    [ -f "$path" ] || fail "the package has no $page(1)"
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$path" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "$page(1): $warnings"
    mandoc -T lint -W warning "$path"
    lexgrog "$path" | grep -q "\"$page - " || fail "$page(1) has no whatis line"
    text="$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$path" 2>/dev/null)"
    words="words_${page//-/_}"
    for word in ${!words}; do
        grep -q -- "$word" <<<"$text" || fail "$page(1) does not tell of $word"
    done
    for section in SYNOPSIS "EXIT STATUS" FILES EXAMPLES; do
        grep -q "^$section" <<<"$text" || fail "$page(1) has no $section"
    done
done

step "the installed programs"
# A format-0 piece: a program change, then C4 and E4 one after the other;
# and the same piece as a Windows collection keeps it: RIFF, RMID, a data
# chunk of 45 bytes (padded to an even length).
smf='MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk\x00\x00\x00\x17'
smf+='\x00\xC0\x00\x00\x90\x3C\x64\x60\x80\x3C\x00\x00\x90\x40\x64\x60\x80\x40\x00\x00\xFF\x2F\x00'
printf "$smf" >"$work/in.mid"
printf "RIFF\x3A\x00\x00\x00RMIDdata\x2D\x00\x00\x00$smf\x00" >"$work/in.rmi"
/usr/bin/solvane --version | grep -qx "solvane $version" || fail "solvane --version"
/usr/bin/solvane-cli convert -H -V "$work/in.mid" "$work/out.mid" || fail "convert exited $?"
[ "$(head -c 4 "$work/out.mid")" = "MThd" ] || fail "convert wrote no MIDI file"
/usr/bin/solvane-cli --lang en info "$work/in.rmi" >"$work/info.txt" || fail "info on the .rmi file exited $?"
grep -qx 'notes: 2' "$work/info.txt" || fail "info on the .rmi file: $(cat "$work/info.txt")"
/usr/bin/solvane-cli play -H --trace "$work/trace.txt" "$work/in.mid" || fail "play exited $?"
grep -q ' F0 7E 7F 09 01 F7$' "$work/trace.txt" || fail "the play sent no General MIDI System On"
grep -q ' 90 40 64$' "$work/trace.txt" || fail "the play sent no note"
if SOLVANE_LANG=en /usr/bin/solvane-cli info "$work/out.mid.absent" 2>"$work/err.txt"; then fail "a missing file loaded"; fi
grep -q 'The file could not be opened' "$work/err.txt" || fail "no English message: $(cat "$work/err.txt")"

step "apt-get purge"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq solvane >/dev/null
status="$(dpkg-query -W -f='${Status}' solvane 2>/dev/null || true)"
case "$status" in
    "" | *not-installed) ;;
    *) fail "the package is still known to dpkg: $status" ;;
esac
left=()
for file in "${files[@]}" /usr/share/doc/solvane /usr/libexec/solvane; do
    [ -e "$file" ] || [ -L "$file" ] && left+=("$file")
done
[ "${#left[@]}" -eq 0 ] || fail "left after removal: ${left[*]}"
echo "check-package.sh: $(basename "$deb") installed, worked and went without a trace"
