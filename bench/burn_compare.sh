#!/bin/sh
# Times writing a 60-minute mixed queue (WAV, MP3, Ogg Vorbis, FLAC, APE and
# a 48 kHz FLAC, ten minutes each) as a CD image against ffmpeg decoding the
# same files to CD audio (44.1 kHz stereo 16-bit) into one file, side by side
# in one run; then the peak memory of writing a 20- and the 60-minute queue.
# Usage: bench/burn_compare.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
. bench/lib.sh
runs=${1:-3}
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target kestrune-write-image kestrune-cli >/dev/null
bin=build/release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Ten minutes of a tone over pink noise, so the encoders have real work.
sox -n -r 44100 -b 16 -c 2 "$work/a.wav" synth 600 pinknoise vol 0.3 synth 600 sine mix 220
lame --quiet -b 192 "$work/a.wav" "$work/b.mp3"
oggenc -Q -o "$work/c.ogg" "$work/a.wav"
flac -s -o "$work/d.flac" "$work/a.wav"
"$bin/src/cli/kestrune-cli" convert --quiet "$work/a.wav" "$work/e.ape"
sox "$work/a.wav" -r 48000 "$work/f.flac"
queue="$work/a.wav $work/b.mp3 $work/c.ogg $work/d.flac $work/e.ape $work/f.flac"

peer="for f in $queue; do ffmpeg -nostdin -v error -i \$f -ar 44100 -ac 2 -f s16le -; done > $work/p.raw"
compare "60-minute queue to image vs ffmpeg" 1.0 "$runs" \
    "$bin/bench/kestrune-write-image $work/o.cue $queue" \
    "$peer"
# Tracks after the first are written on further threads, so the memory is
# compared between queues that both use them: two files against all six.
echo "peak memory, 20 minutes: $(peak_kib "$bin/bench/kestrune-write-image $work/o.cue $work/a.wav $work/b.mp3") KiB;" \
     "60 minutes: $(peak_kib "$bin/bench/kestrune-write-image $work/o.cue $queue") KiB"
