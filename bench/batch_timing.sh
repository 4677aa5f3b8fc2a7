#!/usr/bin/env bash
# A batch over a folder of MIDI files in one process against one process per
# file, timed alternately in one run so that both see the same machine:
#
#   bench/batch_timing.sh BUILD_DIR [--runs N] [DIR]
#
# DIR defaults to the corpus beside the repository (../shared/corpus). Both
# ways run `solvane-cli convert -H -V` over the same files (.mid, .midi,
# .kar, .smf, .rmi, with subfolders) into folders of their own; after the
# timing the two folders are compared byte for byte. Prints the median wall
# time of each way, the time per file and the ratio.
set -euo pipefail

usage() {
    echo "usage: $0 BUILD_DIR [--runs N] [DIR]" >&2
    exit 64
}

[[ $# -ge 1 ]] || usage
build=$(cd "$1" && pwd)
shift
runs=11
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
input=$root/../shared/corpus
while [[ $# -gt 0 ]]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        -*) usage ;;
        *) input=$1; shift ;;
    esac
done
cli=$build/cli/solvane-cli
[[ -x $cli ]] || { echo "missing $cli" >&2; exit 1; }
[[ -d $input ]] || { echo "no folder $input" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -d '' files < <(find "$input" -type f \( -iname '*.mid' -o -iname '*.midi' -o -iname '*.kar' -o -iname '*.smf' \
    -o -iname '*.rmi' \) -print0 | sort -z)
[[ ${#files[@]} -gt 0 ]] || { echo "no MIDI files under $input" >&2; exit 1; }

batch() {
    "$cli" convert -H -V --out-dir "$work/batch" -r "$input" 2>/dev/null || true
}
one_by_one() {
    mkdir -p "$work/single"
    local f name
    for f in "${files[@]}"; do
        name=${f##*/}
        "$cli" convert -H -V "$f" "$work/single/${name%.*}.mid" 2>/dev/null || true
    done
}
# Wall time of one call, in microseconds.
timed() {
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}
median() { sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

batch && one_by_one  # once untimed: files in the page cache, folders made
batch_us=()
single_us=()
for ((i = 0; i < runs; i++)); do
    batch_us+=("$(timed batch)")
    single_us+=("$(timed one_by_one)")
done
b=$(printf '%s\n' "${batch_us[@]}" | median)
s=$(printf '%s\n' "${single_us[@]}" | median)
n=${#files[@]}
printf '%d files under %s, convert -H -V, %d runs each, alternating\n' "$n" "$input" "$runs"
awk -v b="$b" -v s="$s" -v n="$n" 'BEGIN {
    printf "  one batch process      median %9.1f ms  %7.3f ms a file\n", b / 1000, b / 1000 / n
    printf "  one process per file   median %9.1f ms  %7.3f ms a file\n", s / 1000, s / 1000 / n
    printf "  one process per file takes %.2f times as long\n", s / b
}'
if diff -r "$work/batch" "$work/single" >/dev/null; then
    echo "  the two folders hold the same files, byte for byte"
else
    echo "  the two folders differ:" >&2
    diff -rq "$work/batch" "$work/single" >&2 || true
    exit 1
fi
