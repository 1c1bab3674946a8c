#!/bin/sh
# Splitting the standard input into WAV tracks: kestrune-cli record --fast on
# the file as a virtual device, and kestrune-cli split on the file, against
# sox's silence effect on the same file (goal: at most 0.33 of sox's wall time), then the CPU that recording the
# virtual device in real time for 60 s at 44.1 kHz stereo into WAV costs
# (goal: under 1 % of one core), and at 22.05 kHz stereo into MP3 at
# 128 kbit/s with song fingerprints (goal: under 2 %; the lookups go to a
# closed port on loopback and fail at once, so the figure is the recording's
# and the fingerprints' own). Usage: bench/record_compare.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
. bench/lib.sh
runs=${1:-5}
cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target kestrune-cli >/dev/null
cli=build/release/src/cli/kestrune-cli
data=build/bench-data
[ -f "$data/std44.wav" ] || bench/standard-input.sh "$data"
in=$(realpath "$data/std44.wav")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
common="--format WAV --rate 44100 --bits 16 --channels 2 --silence 1500 --min-length 15 --level16 100 --config $work/k.ini --quiet"

echo "input: $in ($(soxi -D "$in") s); $runs runs each"
compare "split into WAV tracks vs sox silence" 0.33 "$runs" \
    "rm -rf $work/ours && $cli record --album A --folder $work/ours --device virtual:$in --fast $common" \
    "rm -rf $work/peer && mkdir -p $work/peer && sox $in $work/peer/out.wav silence 1 0.05 -50d 1 1.5 -50d : newfile : restart"
echo "tracks: ours $(ls "$work/ours/A" | wc -l), sox $(ls "$work/peer" | wc -l)"
compare "split command into WAV tracks vs sox silence" 0.33 "$runs" \
    "rm -rf $work/split && $cli split $in --album S --folder $work/split --format WAV --level 100 --config $work/k.ini --set Silence/SilenceLg=1500 --set Silence/MinLength=15 --quiet" \
    "rm -rf $work/peer && mkdir -p $work/peer && sox $in $work/peer/out.wav silence 1 0.05 -50d 1 1.5 -50d : newfile : restart"
echo "tracks: split $(ls "$work/split/S" | wc -l), sox $(ls "$work/peer" | wc -l)"

# 60 s of the input in real time: CPU seconds (user + system) over wall seconds.
sox "$in" "$work/one.wav" trim 0 60
/usr/bin/time -f '%e %U %S' -o "$work/cpu" \
    "$cli" record --album R --folder "$work/rt" --device "virtual:$work/one.wav" $common
cpu_share() { # LABEL GOAL_PERCENT
    awk -v label="$1" -v goal="$2" '{ share = 100 * ($2 + $3) / $1
        printf "real-time recording 60 s %s: wall %.1f s, cpu %.2f s, %.2f %% of one core  goal < %s %%  %s\n",
               label, $1, $2 + $3, share, goal, (share < goal ? "met" : "MISSED") }' "$work/cpu"
}
cpu_share "44.1 kHz stereo WAV" 1

sox "$in" -r 22050 "$work/one22.wav" trim 0 60
/usr/bin/time -f '%e %U %S' -o "$work/cpu" \
    "$cli" record --album M --folder "$work/rt" --device "virtual:$work/one22.wav" \
    --format MP3 --rate 22050 --bits 16 --channels 2 --bitrate 11 --silence 1500 --min-length 15 --level16 100 \
    --config "$work/k.ini" --set Recordings/AutoRecognize=1 --set Recognition/Key=bench \
    --set Recognition/Server=http://127.0.0.1:9/v2/lookup >/dev/null 2>"$work/mp3.log"
cpu_share "22.05 kHz stereo MP3 128 kbit/s with fingerprints" 2
echo "tracks: $(ls "$work/rt/M" | wc -l) MP3 files, $(grep -c 'could not be reached' "$work/mp3.log" || true) lookups tried"
# The same work by the peers, one after the other on the same minute: lame
# encoding it at 128 kbit/s and fpcalc fingerprinting it.
/usr/bin/time -f '%U %S' -o "$work/cpu-lame" lame --quiet -b 128 "$work/one22.wav" "$work/peer.mp3"
/usr/bin/time -f '%U %S' -o "$work/cpu-fpcalc" fpcalc "$work/one22.wav" >/dev/null 2>&1 || true
ours=$(awk '{ print $2 + $3 }' "$work/cpu")
peers=$(cat "$work/cpu-lame" "$work/cpu-fpcalc" | awk '{ s += $1 + $2 } END { print s }')
awk -v o="$ours" -v p="$peers" 'BEGIN { printf "the same minute by lame + fpcalc: cpu %.2f s (%.2f %% of the minute); ours/peers %.2f\n", p, 100 * p / 60, o / p }'
