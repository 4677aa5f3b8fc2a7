#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan), writes the generated seed
# files and runs each target for the given time. Any crash, timeout, leak or
# sanitizer report fails the run; the input that caused it is left in
# $BUILD_DIR/fuzz-artifacts and the target's log in $BUILD_DIR/fuzz-logs.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target...]
# Environment: BUILD_DIR (default build-fuzz), SOLVANE_JOBS (default: number of cores).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
# shellcheck disable=SC2086
solvane_install_packages $SOLVANE_BUILD_PACKAGES $SOLVANE_CHECK_PACKAGES

seconds="${1:-60}"
shift || true
targets=("$@")
[ "${#targets[@]}" -eq 0 ] && targets=(fuzz_load_save fuzz_load_play fuzz_second_load)
build="${BUILD_DIR:-$root/build-fuzz}"
jobs="${SOLVANE_JOBS:-$(nproc)}"
# Inputs are cut at 4 KB: each runs the load, four saves and four reloads
# under the sanitizers, and small inputs run hundreds of times a second while
# reaching every branch of the reader and the writer. Files at the size
# limits are the malformed suite's.
max_len=4096

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSOLVANE_BUILD_FUZZ=ON -DSOLVANE_BUILD_APP=OFF -DSOLVANE_BUILD_TESTS=OFF -DSOLVANE_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]}" solvane_make_seeds

seeds="$build/fuzz-seeds"
rm -rf "$seeds"
"$build/fuzz/solvane_make_seeds" "$seeds"
corpora=("$seeds")
# The third-party files are read where they are: the folder holds links only.
shared="$root/../shared/corpus"
if [ -d "$shared" ]; then
    links="$build/fuzz-shared"
    rm -rf "$links"
    mkdir -p "$links"
    n=0
    while IFS= read -r -d '' file; do
        ln -s "$file" "$links/$n-$(basename "$file")"
        n=$((n + 1))
    done < <(find "$(cd "$shared" && pwd)" -type f \( -iname '*.mid' -o -iname '*.midi' -o -iname '*.rmi' \) -print0)
    echo "$n third-party seed files from $shared"
    corpora+=("$links")
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
failed=()
for target in "${targets[@]}"; do
    work="$build/fuzz-corpus/$target"
    log="$build/fuzz-logs/$target.log"
    mkdir -p "$work"
    echo "==== $target: ${seconds} s"
    status=0
    "$build/fuzz/$target" "$work" "${corpora[@]}" \
        -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
        -dict="$root/fuzz/smf.dict" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$target-" >"$log" 2>&1 || status=$?
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    took="$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)"
    cover="$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)"
    echo "$target: ${runs:-?} executions in ${took:-?} s, ${cover:-cov: ?}, corpus $(find "$work" -type f | wc -l) files, exit $status"
    if [ "$status" -ne 0 ]; then
        grep -E 'ERROR|SUMMARY|solvane fuzz|Test unit written' "$log" | head -20 || true
        failed+=("$target")
    fi
done
if [ "${#failed[@]}" -ne 0 ]; then
    echo "fuzzing found faults in: ${failed[*]} (logs in $build/fuzz-logs, inputs in $build/fuzz-artifacts)"
    exit 1
fi
