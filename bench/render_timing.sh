#!/usr/bin/env bash
# How fast `solvane-cli render` makes audio, beside the synthesizers a
# musician would otherwise use offline: `fluidsynth -F` and TiMidity++
# (`timidity -Ow`), on the same pieces with the same soundfont, the tools
# taking turns piece by piece and round by round so that the load of a
# shared machine falls on all of them alike.
#
#   bench/render_timing.sh CLI [--runs N] [--soundfont SF2] [PIECE.mid ...]
#
# CLI is solvane-cli (with solvane-cli-sound beside it). Without pieces, five
# pieces of the corpus beside the repository. Per piece and tool it prints
# the seconds of audio made, the median wall time, the ratio to real time
# (audio seconds per wall second), the processor seconds (user + system) per
# second of audio, and solvane's ratio to real time over fluidsynth's.
# The audio lengths differ a little: each program times the piece its own
# way (solvane as its play does), and each ends the sound's tail its own way.
set -euo pipefail

usage() {
    echo "usage: $0 CLI [--runs N] [--soundfont SF2] [PIECE.mid ...]" >&2
    exit 64
}

[[ $# -ge 1 ]] || usage
cli=$(readlink -f "$1")
shift
runs=5
soundfont=/usr/share/sounds/sf2/default-GM.sf2
pieces=()
while [[ $# -gt 0 ]]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        --soundfont) soundfont=$2; shift 2 ;;
        -*) usage ;;
        *) pieces+=("$(readlink -f "$1")"); shift ;;
    esac
done
[[ -x $cli ]] || { echo "missing $cli" >&2; exit 1; }
[[ -r $soundfont ]] || { echo "no soundfont $soundfont" >&2; exit 1; }
if [[ ${#pieces[@]} -eq 0 ]]; then
    corpus=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/../shared/corpus/valid
    # Pieces with their own tempo, so that every program makes about as
    # much audio of them (without one, solvane plays at 240 a minute, as
    # its play does, and the others at 120).
    for name in drywetmidi/ch_fant2.mid drywetmidi/STEVENS_Wild_word_k.mid drywetmidi/comemai.mid \
                drywetmidi/Hymn-Nr-05.mid drywetmidi/gfr66-h-jwhc.mid; do
        pieces+=("$corpus/$name")
    done
fi

tools=(solvane)
command -v fluidsynth >/dev/null && tools+=(fluidsynth) || echo "(fluidsynth not installed: apt-get install fluidsynth)"
command -v timidity >/dev/null && tools+=(timidity) || echo "(timidity not installed: apt-get install timidity)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

render() {  # tool piece out
    case "$1" in
        solvane) "$cli" render --soundfont "$soundfont" "$2" "$3" ;;
        fluidsynth) fluidsynth -ni -q -F "$3" -r 44100 "$soundfont" "$2" ;;
        timidity) timidity -Ow -o "$3" -s 44100 -x "soundfont $soundfont" "$2" ;;
    esac
}

# One timed run: "wall user+system audio-seconds".
timed() {
    local out=$work/$1.wav
    rm -f "$out"
    /usr/bin/time -f "%e %U %S" -o "$work/time" bash -c "$(declare -f render); cli='$cli' soundfont='$soundfont' render $1 '$2' '$out'" >/dev/null 2>&1 || true
    local size=0
    [[ -f $out ]] && size=$(stat -c %s "$out")
    awk -v size="$size" '{ printf "%s %.3f %.3f\n", $1, $2 + $3, (size - 44) / 176400 }' "$work/time"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-28s %-10s %9s %8s %9s %13s %9s\n' piece tool audio_s wall_s x_real cpu_s/audio_s vs_fluid
for piece in "${pieces[@]}"; do
    for tool in "${tools[@]}"; do : > "$work/$tool.runs"; done
    for ((r = 0; r < runs; r++)); do
        for tool in "${tools[@]}"; do timed "$tool" "$piece" >> "$work/$tool.runs"; done
    done
    fluid_ratio=""
    for tool in "${tools[@]}"; do
        wall=$(cut -d' ' -f1 "$work/$tool.runs" | median)
        cpu=$(cut -d' ' -f2 "$work/$tool.runs" | median)
        audio=$(cut -d' ' -f3 "$work/$tool.runs" | median)
        ratio=$(awk -v a="$audio" -v w="$wall" 'BEGIN { printf "%.1f", (w > 0) ? a / w : 0 }')
        [[ $tool == fluidsynth ]] && fluid_ratio=$ratio
        echo "$tool $audio $wall $ratio $cpu" >> "$work/piece"
    done
    while read -r tool audio wall ratio cpu; do
        versus="-"
        [[ -n $fluid_ratio ]] && versus=$(awk -v s="$ratio" -v f="$fluid_ratio" 'BEGIN { printf "%.2f", (f > 0) ? s / f : 0 }')
        printf '%-28s %-10s %9.1f %8.2f %9s %13s %9s\n' "$(basename "$piece")" "$tool" "$audio" "$wall" "$ratio" \
            "$(awk -v c="$cpu" -v a="$audio" 'BEGIN { printf "%.4f", (a > 0) ? c / a : 0 }')" "$versus"
    done < "$work/piece"
    rm -f "$work/piece"
done
echo "runs per tool and piece: $runs (medians); soundfont: $soundfont"
