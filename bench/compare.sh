#!/bin/sh
# Times Kestrune against the peer tools on the standard input, side by side in
# one run, and prints the ratio of mean wall times (Kestrune / peer) for each
# pair. Needs ./scripts/setup.sh --bench (hyperfine, the music for the input).
# Usage: bench/compare.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-10}
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
bin=build/release
cli=$bin/src/cli/kestrune-cli
data=build/bench-data
[ -f "$data/std44.wav" ] || bench/standard-input.sh "$data"
in=$data/std44.wav
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One pair: name, goal, Kestrune command, peer command, optional preparation.
compare() {
    name=$1 goal=$2 ours=$3 peer=$4
    hyperfine --style none --warmup 1 --runs "$runs" --export-csv "$work/t.csv" \
        -n kestrune "$ours" -n peer "$peer" >/dev/null
    awk -F, -v name="$name" -v goal="$goal" '
        NR == 2 { ours = $2; ours_sd = $3 }
        NR == 3 { peer = $2; peer_sd = $3 }
        END {
            ratio = ours / peer
            printf "%-34s kestrune %.3f s (sd %.3f)  peer %.3f s (sd %.3f)  ratio %.2f  goal <= %s  %s\n",
                name, ours, ours_sd, peer, peer_sd, ratio, goal, (ratio <= goal ? "met" : "MISSED")
        }' "$work/t.csv"
}

echo "input: $in ($(soxi -D "$in") s), $runs runs each"
compare "read into null output vs sox" 0.5 \
    "$bin/bench/kestrune-read-null $in" \
    "sox $in -t raw /dev/null"
compare "IMA ADPCM encode vs ffmpeg" 1.0 \
    "$cli convert $in $work/ours-ima.wav --wav-type dvi-adpcm --quiet" \
    "ffmpeg -nostdin -y -v error -i $in -c:a adpcm_ima_wav $work/peer-ima.wav"
ffmpeg -nostdin -y -v error -i "$in" -c:a adpcm_ima_wav "$work/ima.wav"
compare "IMA ADPCM decode vs ffmpeg" 1.0 \
    "$cli convert $work/ima.wav $work/ours-back.wav --quiet" \
    "ffmpeg -nostdin -y -v error -i $work/ima.wav $work/peer-back.wav"
