#!/bin/sh
# Times writing a 60-minute mixed queue (WAV, MP3, Ogg Vorbis, FLAC, APE and
# a 48 kHz FLAC, ten minutes each) as a CD image against ffmpeg decoding the
# same files to CD audio (44.1 kHz stereo 16-bit) into one file, side by side
# in one run; then the peak memory of writing queues of 20, 60 and 70 minutes.
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
# Tracks after the first are written on further threads, so what a write
# holds depends on the decoders running side by side, not on the queue's
# length: the 60-minute queue against the same queue with its MP3 once more
# (70 minutes), and the two heaviest decoders (APE and the resampled FLAC)
# alone.
echo "peak memory, APE + 48 kHz FLAC (20 minutes):" \
     "$(peak_kib "$bin/bench/kestrune-write-image $work/o.cue $work/e.ape $work/f.flac") KiB;" \
     "60 minutes: $(peak_kib "$bin/bench/kestrune-write-image $work/o.cue $queue") KiB;" \
     "70 minutes: $(peak_kib "$bin/bench/kestrune-write-image $work/o.cue $queue $work/b.mp3") KiB"
