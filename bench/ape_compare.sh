#!/bin/sh
# Times our Monkey's Audio codec against ffmpeg on the standard input, side by
# side in one run, and prints the ratio of mean wall times (ours / peer):
#   decoding a level-2000 file            vs  ffmpeg -i IN.ape OUT.wav   (goal <= 1.0)
#   encoding at level 2000                vs  that same ffmpeg DECODE    (goal <= 1.2;
#                                            no native encoder exists here, so
#                                            this is a yardstick, not the same work)
# and, for the record, jmac's encoding time and the sizes per level next to
# FLAC -5. Our side runs through the test driver ape_tool (release build).
# Needs hyperfine, ffmpeg, flac, jmac and the standard input's music
# (./scripts/setup.sh --bench). Usage: bench/ape_compare.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
. bench/lib.sh
runs=${1:-5}
build=${APE_BUILD_DIR:-build/release}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target ape_tool -j 2 >/dev/null
tool=$build/tests/ape/ape_tool
data=${APE_BENCH_DATA:-build/bench-data}
[ -f "$data/std44.wav" ] || bench/standard-input.sh "$data"
in=$data/std44.wav
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$tool" c2 "$in" "$work/in.ape"
"$tool" d "$work/in.ape" "$work/check.wav"
cmp -s "$work/check.wav" "$in" || { echo "ape_compare: our round trip differs" >&2; exit 1; }

echo "input: $in ($(soxi -D "$in") s), $runs runs each"
compare "APE decode (level 2000) vs ffmpeg" 1.0 "$runs" \
    "$tool d $work/in.ape $work/ours.wav" \
    "ffmpeg -nostdin -y -v error -i $work/in.ape $work/peer.wav"
compare "APE encode (2000) vs ffmpeg DECODE" 1.2 "$runs" \
    "$tool c2 $in $work/ours.ape" \
    "ffmpeg -nostdin -y -v error -i $work/in.ape $work/peer.wav"

if command -v jmac >/dev/null; then
    rm -f "$work/jmac.ape"
    start=$(date +%s.%N)
    jmac c2 "$in" "$work/jmac.ape" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "jmac c2 (for the record): $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s;" \
        "identical to ours: $(cmp -s "$work/jmac.ape" "$work/ours.ape" && echo yes || echo no)"
fi

wav_bytes=$(stat -c %s "$in")
for level in 1 2 3 4 5; do
    "$tool" c$level "$in" "$work/l$level.ape"
    size=$(stat -c %s "$work/l$level.ape")
    awk -v l="$level" -v s="$size" -v w="$wav_bytes" \
        'BEGIN { printf "APE level %d000: %d bytes, %.2f%% of the WAV\n", l, s, 100 * s / w }'
done
if command -v flac >/dev/null; then
    flac -s -f -5 "$in" -o "$work/f5.flac"
    size=$(stat -c %s "$work/f5.flac")
    awk -v s="$size" -v w="$wav_bytes" 'BEGIN { printf "FLAC -5:         %d bytes, %.2f%% of the WAV\n", s, 100 * s / w }'
fi
