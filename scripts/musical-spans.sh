#!/usr/bin/env bash
# How long the reversed piece lasts against the input, from the first note to
# the last, over the valid files of the corpus beside the repository, with and
# without --musical: the largest and the median difference. The times come
# from the player's own walk on a virtual clock (tests/support/PlayedNotes),
# run by the corpus test of the musical reversal, which prints them.
# Usage: scripts/musical-spans.sh
# Environment: BUILD_DIR (default build), SOLVANE_JOBS (default 2).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
[ -d "$root/../shared/corpus/valid" ] || { echo "no corpus beside the repository" >&2; exit 1; }
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${SOLVANE_JOBS:-2}" --target platform_tests >/dev/null
QT_QPA_PLATFORM=offscreen "$build/tests/platform/platform_tests" \
    --gtest_filter='MusicalReversalMeasure.EveryValidCorpusFile' --gtest_brief=1 |
    sed -n '/^span difference/,$p' | grep -v '^\[\|^$'
