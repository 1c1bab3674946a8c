#!/bin/sh
# Times ripping a CD image of 60 minutes against cd-paranoia reading the same
# image, side by side in one run, and prints the ratio of mean wall times
# (ours / peer) for each pair, in both read modes (the settings' ReadOpt:
# 0, plain reads, is the default; 1 reads through the paranoia checks, which
# is cd-paranoia's default, full mode without never-skip; -Z is its plain
# reads):
#   kestrune-cli rip --format wav    vs  cd-paranoia -B (one WAV per track)
#   kestrune-cli rip --format flac   vs  cd-paranoia -r N - | flac, track by track
# FLAC on both sides with our writer's default settings: block size 4608,
# fixed predictors, mid-side. Ours reads and checksums every track (CRC and
# AccurateRip, for the rip log it writes) but asks no server: the machine
# has no network, and the peer asks none either.
# The image (made once by sox, kept in build/bench-data/rip60): twelve tracks
# alternating 270 and 330 seconds of a music-like signal, 44.1 kHz stereo
# 16-bit, one BIN/CUE pair. Afterwards the tracks of both sides are checked
# to hold the same audio.
# Needs hyperfine, sox, cd-paranoia, flac. Usage: bench/rip_compare.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
. bench/lib.sh
runs=${1:-3}
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target kestrune-cli >/dev/null
cli="$PWD/build/release/src/cli/kestrune-cli"
data=$PWD/build/bench-data/rip60
cue=$data/disc.cue
tracks=12
work=$(mktemp -d "$PWD/build/rip-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ ! -f "$cue" ]; then
    mkdir -p "$data"
    rm -f "$data/disc.bin"
    {
        echo 'FILE "disc.bin" BINARY'
        start=0
        for i in $(seq 1 $tracks); do
            seconds=$((i % 2 == 1 ? 270 : 330))
            # A chord a semitone higher in each track over pink and brown
            # noise, pulsing: what an encoder finds in music.
            set -- $(awk -v i="$i" 'BEGIN { r = 110 * 2 ^ (i / 12)
                printf "%.2f:%.2f %.2f %.2f:%.2f %.2f", r, 2 * r, r * 1.26, r * 1.5, 3 * r, 3 + i / 2 }')
            sox -R -r 44100 -c 5 -n -b 16 -e signed-integer -L -t raw - synth "$seconds" \
                sine "$1" sine "$2" sine "$3" pinknoise brownnoise tremolo "$4" 40 \
                remix 1v0.3,2v0.3,4v0.15,5v0.1 2v0.3,3v0.3,4v0.15,5v0.1 norm -3 >>"$data/disc.bin"
            printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:00\n' "$i" $((start / 60)) $((start % 60))
            start=$((start + seconds))
        done
    } >"$cue.part"
    mv "$cue.part" "$cue"
fi
minutes=$(($(stat -c %s "$data/disc.bin") / 176400 / 60))

printf '[Rip]\nReadOpt=0\n' >"$work/plain.ini"
printf '[Rip]\nReadOpt=1\n' >"$work/paranoia.ini"
ours="$cli rip --quiet --device $cue --album-info none --no-verify --out-dir $work/ours"
fresh="rm -rf $work/ours $work/peer"
flac_same="--flac-block-size 4608 --flac-max-lpc-order 0 --flac-mid-side on"
peer_wav="mkdir -p $work/peer && cd $work/peer && cd-paranoia -q -B -d $cue"
# $1: cd-paranoia's mode options.
peer_flac() {
    echo "mkdir -p $work/peer && cd $work/peer && for n in \$(seq 1 $tracks); do
    cd-paranoia -q $1 -d $cue -r \$n - | flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 \
        --bps=16 --sample-rate=44100 -b 4608 -l 0 -m -r 0 -o track\$n.flac - || exit 1; done"
}

echo "input: $cue ($tracks tracks, $minutes min); $runs runs each; $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
compare "rip to WAV, plain vs cd-paranoia -Z" 1.0 "$runs" \
    "$ours --config $work/plain.ini --format wav" "$peer_wav -Z" "$fresh"
# Without log and verification ours takes no sums: then both do the same work.
compare "rip to WAV, plain, no log vs -Z" 1.0 "$runs" \
    "$ours --config $work/plain.ini --format wav --no-log" "$peer_wav -Z" "$fresh"
compare "rip to WAV, paranoia vs cd-paranoia" 1.0 "$runs" \
    "$ours --config $work/paranoia.ini --format wav" "$peer_wav" "$fresh"
# Both sides' WAV files must hold the same audio (ours may carry a tag after
# it); the timed runs clean up before each other, so once more untimed.
sh -c "$fresh; $ours --config $work/plain.ini --format wav; $peer_wav -Z"
for n in $(seq 1 $tracks); do
    mine=$work/ours/Session1_Track$n.wav
    theirs=$work/peer/track$(printf %02d "$n").cdda.wav
    bytes=$(($(stat -c %s "$theirs") - 44))
    cmp -s -i 44 -n "$bytes" "$mine" "$theirs" || echo "rip_compare: track $n differs from cd-paranoia's" >&2
done

compare "rip to FLAC, plain vs cd-paranoia -Z | flac" 1.0 "$runs" \
    "$ours --config $work/plain.ini --format flac $flac_same" "$(peer_flac -Z)" "$fresh"
compare "rip to FLAC, paranoia vs cd-paranoia | flac" 1.0 "$runs" \
    "$ours --config $work/paranoia.ini --format flac $flac_same" "$(peer_flac '')" "$fresh"
sh -c "$fresh; $ours --config $work/plain.ini --format flac $flac_same; $(peer_flac -Z)"
for n in $(seq 1 $tracks); do
    flac -s -d -f "$work/ours/Session1_Track$n.flac" -o "$work/a.wav"
    flac -s -d -f "$work/peer/track$n.flac" -o "$work/b.wav"
    cmp -s "$work/a.wav" "$work/b.wav" || echo "rip_compare: FLAC track $n decodes to other audio than the peer's" >&2
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
