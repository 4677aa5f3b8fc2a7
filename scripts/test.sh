#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds Solvane and runs every test.
# Usage: scripts/test.sh [extra cmake options...]
# Environment: BUILD_DIR (default build), SOLVANE_JOBS (default: number of cores).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
# shellcheck disable=SC2086
solvane_install_packages $SOLVANE_BUILD_PACKAGES $SOLVANE_RUN_PACKAGES $SOLVANE_TEST_PACKAGES

build="${BUILD_DIR:-$root/build}"
jobs="${SOLVANE_JOBS:-$(nproc)}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOLVANE_BUILD_TESTS=ON "$@"
cmake --build "$build" -j "$jobs"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 600
