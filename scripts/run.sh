#!/usr/bin/env bash
# Builds the dialog and starts it. On a fresh Debian 12 machine it first
# installs the packages that are missing (as root, or through sudo).
# Works from any folder; the build goes to build/ in the repository.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null; then
    echo "run.sh: run as root or install sudo, so that missing packages can be installed" >&2
fi
# shellcheck disable=SC2086
solvane_install_packages $SOLVANE_BUILD_PACKAGES $SOLVANE_RUN_PACKAGES

build="$root/build"
# A folder configured before (by test.sh, say) keeps its options.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOLVANE_BUILD_TESTS=OFF
fi
cmake --build "$build" --target solvane -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: built $build/app/solvane, but there is no display to show it on (DISPLAY is not set)" >&2
    exit 1
fi
exec "$build/app/solvane"
