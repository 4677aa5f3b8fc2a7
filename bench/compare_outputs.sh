#!/usr/bin/env bash
# Runs two builds of solvane-cli over the same inputs and compares what each
# does: the file written, stderr and the exit status of `convert` with each
# of the four flag sets, and stdout, stderr and status of `info`.
# Usage: bench/compare_outputs.sh [--convert-only] [--unnamed] OLD_CLI NEW_CLI INPUT_DIR...
#   --convert-only  leaves info out (for a build whose info says more)
#   --unnamed       compares report lines without the file name that newer
#                   builds put after "solvane-cli: "
# Prints one line per difference and a summary; exits 1 when any differ.
set -uo pipefail
convert_only=0
unnamed=0
while [ "$#" -gt 0 ]; do
    case "$1" in
        --convert-only) convert_only=1; shift ;;
        --unnamed) unnamed=1; shift ;;
        *) break ;;
    esac
done
if [ "$#" -lt 3 ]; then
    echo "usage: $0 [--convert-only] [--unnamed] OLD_CLI NEW_CLI INPUT_DIR..." >&2
    exit 64
fi
old="$1"
new="$2"
shift 2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mapfile -d '' inputs < <(find "$@" -type f \( -iname '*.mid' -o -iname '*.midi' -o -iname '*.kar' -o -iname '*.rmi' \) -print0 | sort -z)
runs=0
differ=0
# One run: the command's status, stderr and (when written) OUT, into $work/$1.*
run() {
    local tag="$1" cli="$2"
    shift 2
    rm -f "$work/$tag.out"
    "$cli" "$@" >"$work/$tag.stdout" 2>"$work/$tag.stderr"
    echo "$?" >"$work/$tag.status"
    if [ "$unnamed" -eq 1 ]; then
        sed -i -E 's/^solvane-cli: [^:]+: ([A-Za-z0-9]+ 0x[0-9A-F]{8}: )/solvane-cli: \1/' "$work/$tag.stderr"
    fi
}
same() {
    local what="$1" a="$2" b="$3"
    if [ -e "$a" ] || [ -e "$b" ]; then
        if ! cmp -s "$a" "$b"; then
            echo "differs: $what"
            return 1
        fi
    fi
    return 0
}
for input in "${inputs[@]}"; do
    for flags in "" "-H" "-V" "-H -V"; do
        # shellcheck disable=SC2086
        run old "$old" convert $flags "$input" "$work/old.out"
        # shellcheck disable=SC2086
        run new "$new" convert $flags "$input" "$work/new.out"
        runs=$((runs + 1))
        ok=0
        for part in status stderr out; do
            same "convert $flags $input ($part)" "$work/old.$part" "$work/new.$part" || ok=1
        done
        differ=$((differ + ok))
    done
    [ "$convert_only" -eq 1 ] && continue
    run old "$old" info "$input"
    run new "$new" info "$input"
    runs=$((runs + 1))
    ok=0
    for part in status stdout stderr; do
        same "info $input ($part)" "$work/old.$part" "$work/new.$part" || ok=1
    done
    differ=$((differ + ok))
done
what="convert with 4 flag sets"
[ "$convert_only" -eq 1 ] || what="$what, info"
echo "${#inputs[@]} files, $runs runs ($what): $differ differ"
[ "$differ" -eq 0 ]
