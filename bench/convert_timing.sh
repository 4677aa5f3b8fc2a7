#!/usr/bin/env bash
# Whole-process time and peak memory of `solvane-cli convert -H -V` on the
# generated pieces (quarter, half and full size of each kind), with the growth
# from one size to the next; optionally the same round trip through other
# tools for scale.
#
#   bench/convert_timing.sh BUILD_DIR [--runs N] [--others] [--keep DIR]
#
# BUILD_DIR is a build configured with -DSOLVANE_BUILD_BENCH=ON (Release).
# Uses hyperfine when it is installed, else its own repeated runs; the figure
# given is the median wall time of one run.
set -euo pipefail

usage() {
    echo "usage: $0 BUILD_DIR [--runs N] [--others] [--keep DIR]" >&2
    exit 64
}

[[ $# -ge 1 ]] || usage
build=$(cd "$1" && pwd)
shift
runs=30
others=0
keep=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        --others) others=1; shift ;;
        --keep) keep=$2; shift 2 ;;
        *) usage ;;
    esac
done

cli=$build/cli/solvane-cli
core=$build/bench/convert_core
maker=$build/bench/make_bench_files
for tool in "$cli" "$maker"; do
    [[ -x $tool ]] || { echo "missing $tool (build with -DSOLVANE_BUILD_BENCH=ON)" >&2; exit 1; }
done

work=${keep:-$(mktemp -d)}
mkdir -p "$work"
[[ -n $keep ]] || trap 'rm -rf "$work"' EXIT
"$maker" "$work" >/dev/null

# Median wall time in milliseconds of a shell command.
median_ms() {
    local command=$1
    if command -v hyperfine >/dev/null; then
        hyperfine --style none --warmup 3 --runs "$runs" --export-json "$work/run.json" "$command" >/dev/null 2>&1
        jq -r '.results[0].median * 1000' "$work/run.json"
    else
        local times=()
        for _ in 1 2 3; do bash -c "$command" >/dev/null 2>&1 || true; done
        for ((i = 0; i < runs; i++)); do
            local start end
            start=$(date +%s%N)
            bash -c "$command" >/dev/null 2>&1 || true
            end=$(date +%s%N)
            times+=($(( (end - start) / 1000 )))
        done
        printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {m = (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2; printf "%.3f\n", m / 1000}'
    fi
}

peak_kb() {
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
}

# convert_core (when built) runs the same steps as a plain program (dynamic
# linking, default allocator): the difference is solvane-cli's process set-up.
printf '%-22s %9s %12s %12s %14s %12s\n' "file" "bytes" "median ms" "peak KB" "core-only ms" "peak KB"
declare -A ms
for kind in dense-f1 band-f0 piano-2tr; do
    for size in quarter half full; do
        in=$work/$kind-$size.mid
        out=$work/out-$kind-$size.mid
        bytes=$(stat -c %s "$in")
        t=$(median_ms "'$cli' convert -H -V '$in' '$out' 2>/dev/null")
        kb=$(peak_kb "$cli" convert -H -V "$in" "$out")
        ms[$kind-$size]=$t
        ct="-"
        ckb="-"
        if [[ -x $core ]]; then
            ct=$(printf '%.2f' "$(median_ms "'$core' '$in' '$out' 2>/dev/null")")
            ckb=$(peak_kb "$core" "$in" "$out")
        fi
        printf '%-22s %9d %12.2f %12s %14s %12s\n' "$kind-$size" "$bytes" "$t" "$kb" "$ct" "$ckb"
    done
done

# Doubling the input should at most double the time, give or take a log factor.
echo
printf 'start-up alone (solvane-cli --help): %.2f ms\n' "$(median_ms "'$cli' --help")"
echo
echo "growth (time ratio when the input doubles; 2.0 is linear):"
for kind in dense-f1 band-f0 piano-2tr; do
    awk -v k="$kind" -v q="${ms[$kind-quarter]}" -v h="${ms[$kind-half]}" -v f="${ms[$kind-full]}" \
        'BEGIN {printf "  %-10s half/quarter %.2f  full/half %.2f  full/quarter %.2f\n", k, h/q, f/h, f/q}'
done

if [[ $others -eq 1 ]]; then
    echo
    echo "plain load-and-save round trips of the full-size pieces, for scale:"
    for kind in dense-f1 band-f0 piano-2tr; do
        in=$work/$kind-full.mid
        if command -v midicsv >/dev/null && command -v csvmidi >/dev/null; then
            t=$(median_ms "midicsv '$in' | csvmidi > '$work/csv.mid'")
            printf '  %-10s midicsv+csvmidi %10.2f ms\n' "$kind" "$t"
        fi
        if /usr/bin/python3 -c 'import mido' 2>/dev/null; then
            t=$(median_ms "/usr/bin/python3 -c 'import sys, mido; mido.MidiFile(sys.argv[1]).save(sys.argv[2])' '$in' '$work/mido.mid'")
            printf '  %-10s python3-mido    %10.2f ms\n' "$kind" "$t"
        fi
    done
fi
