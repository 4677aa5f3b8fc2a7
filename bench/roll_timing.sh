#!/usr/bin/env bash
# Whole-process time of `solvane-cli roll -H -V` (the companion program
# started, the piece loaded, transformed, walked, drawn at 1280x720 and
# written as PNG), taking turns with `solvane-cli convert -H -V` of the same
# piece as a yardstick, so that the machine's drift falls on both alike.
#
#   bench/roll_timing.sh CLI [--runs N] [PIECE.mid ...]
#
# CLI is solvane-cli (with solvane-cli-sound beside it). Without pieces, the
# full-size bench pieces in /work/benchfiles, else those make_bench_files
# writes (beside CLI in the build tree: ../bench/make_bench_files). For each
# piece: the median, fastest and slowest wall time of roll and of convert,
# and their ratio.
set -euo pipefail

usage() {
    echo "usage: $0 CLI [--runs N] [PIECE.mid ...]" >&2
    exit 64
}

[[ $# -ge 1 ]] || usage
cli=$(readlink -f "$1")
shift
runs=21
pieces=()
while [[ $# -gt 0 ]]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        -*) usage ;;
        *) pieces+=("$(readlink -f "$1")"); shift ;;
    esac
done
[[ -x $cli ]] || { echo "missing $cli" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [[ ${#pieces[@]} -eq 0 ]]; then
    dir=/work/benchfiles
    if ! ls "$dir"/*-full.mid >/dev/null 2>&1; then
        dir=$work/pieces
        "$(dirname "$cli")/../bench/make_bench_files" "$dir" >/dev/null
    fi
    pieces=("$dir"/*-full.mid)
fi

now() { date +%s%N; }
# Microseconds of one run of the command, which must succeed (3: done, with
# a report, as convert's for the full pieces it writes cut).
timed() {
    local start end status=0
    start=$(now)
    "$@" >/dev/null 2>&1 || status=$?
    [[ $status -eq 0 || $status -eq 3 ]] || { echo "failed ($status): $*" >&2; exit 1; }
    end=$(now)
    echo $(((end - start) / 1000))
}
stats() {  # microseconds... -> "median min max" in ms
    printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {printf "%.1f %.1f %.1f", v[int((NR+1)/2)]/1000, v[1]/1000, v[NR]/1000}'
}

printf '%-34s %8s %8s %8s   %8s %8s %8s   %s\n' piece "roll" min max convert min max ratio
for piece in "${pieces[@]}"; do
    roll=()
    convert=()
    "$cli" roll -H -V "$piece" "$work/warm.png" >/dev/null 2>&1 || true
    for ((i = 0; i < runs; ++i)); do
        roll+=("$(timed "$cli" roll -H -V "$piece" "$work/out.png")")
        convert+=("$(timed "$cli" convert -H -V "$piece" "$work/out.mid")")
    done
    read -r rm rmin rmax <<<"$(stats "${roll[@]}")"
    read -r cm cmin cmax <<<"$(stats "${convert[@]}")"
    printf '%-34s %8s %8s %8s   %8s %8s %8s   %.1f\n' "$(basename "$piece") ($(stat -c %s "$piece") B)" \
        "$rm" "$rmin" "$rmax" "$cm" "$cmin" "$cmax" "$(awk -v a="$rm" -v b="$cm" 'BEGIN {print a / b}')"
done
echo "(wall milliseconds over $runs runs each, taking turns; roll draws 1280x720)"
