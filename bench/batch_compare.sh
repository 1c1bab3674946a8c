#!/bin/sh
# Times the batch conversion on every core against the same files one after
# another and against the reference encoders run in parallel, side by side in
# one run. The input is eight 1-minute WAV files (44.1 kHz stereo 16-bit) of a
# music-like signal made by sox: a chord gliding and pulsing over pink and
# brown noise, a different pitch and pulse in each file.
#   kestrune-cli convert --jobs N  vs  --jobs 1           speed-up, goal >= 0.9 x N
#   kestrune-cli convert --jobs N  vs  flac/lame, xargs -P N  time ratio, goal <= 1.05
# N is the number of cores. FLAC is compared twice: our default settings
# (block size 4608, fixed predictors, mid-side) against flac given exactly
# those, and our writer set to what flac -5 does against flac -5. MP3: 128
# kbit/s CBR on both sides, each at the library's default quality.
# Needs hyperfine, sox, flac, lame. Usage: bench/batch_compare.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
. bench/lib.sh
runs=${1:-5}
cores=$(nproc)
cmake --preset release >/dev/null
cmake --build --preset release -j "$cores" --target kestrune-cli >/dev/null
cli="$PWD/build/release/src/cli/kestrune-cli convert --quiet"
data=build/bench-data/batch8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$data"
for i in 1 2 3 4 5 6 7 8; do
    f="$data/music$i.wav"
    [ -f "$f" ] && continue
    # Root, third and fifth of a chord a semitone higher in each file.
    set -- $(awk -v i="$i" 'BEGIN { r = 110 * 2 ^ (i / 12)
        printf "%.2f:%.2f %.2f %.2f:%.2f %.2f", r, 2 * r, r * 1.26, r * 1.5, 3 * r, 3 + i / 2 }')
    sox -R -r 44100 -c 5 -n -b 16 "$f" synth 60 sine "$1" sine "$2" sine "$3" \
        pinknoise brownnoise tremolo "$4" 40 \
        remix 1v0.3,2v0.3,4v0.15,5v0.1 2v0.3,3v0.3,4v0.15,5v0.1 norm -3
done
in="$data/music*.wav"
# The peers write beside their inputs: links to the same files in a folder of
# their own.
mkdir -p "$work/peer" "$work/ours"
for f in $in; do ln -s "$PWD/$f" "$work/peer/"; done
peer_in="$work/peer/*.wav"

speedup() {
    name=$1 goal=$2 n=$3 parallel=$4 serial=$5
    hyperfine --style none --warmup 1 --runs "$n" --export-csv "$work/t.csv" \
        -n parallel "$parallel" -n serial "$serial" >/dev/null
    awk -F, -v name="$name" -v goal="$goal" '
        NR == 2 { par = $2; par_sd = $3 }
        NR == 3 { ser = $2; ser_sd = $3 }
        END {
            s = ser / par
            printf "%-36s jobs %7.3f s (sd %.3f)  one by one %7.3f s (sd %.3f)  speed-up %.2f  goal >= %.2f  %s\n",
                name, par, par_sd, ser, ser_sd, s, goal, (s >= goal ? "met" : "MISSED")
        }' "$work/t.csv"
}

goal=$(awk -v n="$cores" 'BEGIN { printf "%.2f", 0.9 * n }')
echo "input: 8 x 60 s, $cores cores, $runs runs each; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
flac_same="--flac-block-size 4608 --flac-max-lpc-order 0 --flac-mid-side on"
flac_5="--flac-block-size 4096 --flac-max-lpc-order 8 --flac-max-partition-order 5 --flac-mid-side on"

speedup "FLAC --jobs $cores vs --jobs 1" "$goal" "$runs" \
    "$cli $in --to flac --out-dir $work/ours --jobs $cores" \
    "$cli $in --to flac --out-dir $work/ours --jobs 1"
speedup "MP3 --jobs $cores vs --jobs 1" "$goal" "$runs" \
    "$cli $in --to mp3 --out-dir $work/ours --jobs $cores" \
    "$cli $in --to mp3 --out-dir $work/ours --jobs 1"

compare "FLAC default vs flac same settings" 1.05 "$runs" \
    "$cli $in --to flac --out-dir $work/ours --jobs $cores $flac_same" \
    "ls $peer_in | xargs -P $cores -n 1 flac -s -f -b 4608 -l 0 -m -r 0"
compare "FLAC as -5 vs flac -5" 1.05 "$runs" \
    "$cli $in --to flac --out-dir $work/ours --jobs $cores $flac_5" \
    "ls $peer_in | xargs -P $cores -n 1 flac -s -f -5"
compare "MP3 128 vs lame -b 128" 1.05 "$runs" \
    "$cli $in --to mp3 --out-dir $work/ours --jobs $cores --bitrate 128" \
    "ls $peer_in | xargs -P $cores -n 1 lame --quiet -b 128"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

# The same work on both sides: the encoded audio must match. FLAC frames
# are compared by decoding; MP3 by the bytes after each side's tags.
for f in $in; do
    b=$(basename "$f" .wav)
    flac -s -f -d "$work/ours/$b.flac" -o "$work/check.wav"
    cmp -s "$work/check.wav" "$f" || echo "batch_compare: $b.flac does not decode to its input" >&2
done
echo "sizes: ours FLAC (-5 settings) $(cat $work/ours/*.flac | wc -c) bytes, flac -5 $(cat $work/peer/*.flac | wc -c) bytes;" \
    "ours MP3 $(cat $work/ours/*.mp3 | wc -c) bytes, lame $(cat $work/peer/*.mp3 | wc -c) bytes"
