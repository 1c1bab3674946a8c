#!/bin/sh
# Times Kestrune against the peer tools on the standard input (10 minutes of
# music, 44.1 kHz stereo 16-bit), side by side in one run, and prints the
# ratio of mean wall times (Kestrune / peer) for each pair, then the peak
# memory of conversions of a 1-minute and the 10-minute input.
# Needs ./scripts/setup.sh --bench. Usage: bench/compare.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
. bench/lib.sh
runs=${1:-5}
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
bin=build/release
cli="$bin/src/cli/kestrune-cli convert --quiet"
data=build/bench-data
[ -f "$data/std44.wav" ] || bench/standard-input.sh "$data"
in=$data/std44.wav
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "input: $in ($(soxi -D "$in") s); $runs runs each (2 for the slow encoders)"
# Both sides only read: ours into the null output, sox into its null file
# type (-n), which writes nothing.
compare "pipeline read into null vs sox -n" 0.5 "$runs" \
    "$bin/bench/kestrune-read-null $in" \
    "sox $in -n"
# ADPCM in blocks of 1024 bytes on both sides (ffmpeg's default; ours is 512).
compare "IMA ADPCM encode (1024) vs ffmpeg" 1.0 "$runs" \
    "$cli $in $work/o-ima.wav --wav-type dvi-adpcm --block-size 1024" \
    "ffmpeg -nostdin -y -v error -i $in -c:a adpcm_ima_wav -block_size 1024 $work/p-ima.wav"
ffmpeg -nostdin -y -v error -i "$in" -c:a adpcm_ima_wav -block_size 1024 "$work/ima.wav"
compare "IMA ADPCM decode vs ffmpeg" 1.0 "$runs" \
    "$cli $work/ima.wav $work/o-back.wav" \
    "ffmpeg -nostdin -y -v error -i $work/ima.wav $work/p-back.wav"

# The codecs at the component's default settings against the reference tools
# given the same settings.
compare "WAV->FLAC vs flac (same settings)" 1.05 "$runs" \
    "$cli $in $work/o.flac" \
    "flac -s -f -b 4608 -l 0 -m -r 0 $in -o $work/p.flac"
flac -s -f -b 4608 -l 0 -m -r 0 "$in" -o "$work/in.flac"
# Both decoders check the stream's MD5 at its end.
compare "FLAC->WAV vs flac -d" 1.05 "$runs" \
    "$cli $work/in.flac $work/o-flac.wav" \
    "flac -s -f -d $work/in.flac -o $work/p-flac.wav"
compare "WAV->MP3 128 vs lame -b 128" 1.05 2 \
    "$cli $in $work/o.mp3 --bitrate 128" \
    "lame --quiet -b 128 $in $work/p.mp3"
lame --quiet -b 128 "$in" "$work/in.mp3"
compare "MP3->WAV vs mpg123 -w" 1.05 "$runs" \
    "$cli $work/in.mp3 $work/o-mp3.wav" \
    "mpg123 -q -w $work/p-mp3.wav $work/in.mp3"
compare "WAV->Ogg q0.2 vs oggenc -q 2" 1.05 2 \
    "$cli $in $work/o.ogg --ogg-quality 0.2" \
    "oggenc -Q -q 2 $in -o $work/p.ogg"
oggenc -Q -q 2 "$in" -o "$work/in.ogg"
compare "Ogg->WAV vs oggdec" 1.05 "$runs" \
    "$cli $work/in.ogg $work/o-ogg.wav" \
    "oggdec -Q $work/in.ogg -o $work/p-ogg.wav"

# Monkey's Audio through the whole program. No native encoder exists here, so
# our encoding is set beside ffmpeg's DECODING of the same audio: a yardstick,
# not a comparison of the same work, and labelled so.
$bin/src/cli/kestrune-cli convert --quiet "$in" "$work/in.ape" --ape-level 2000
compare "APE->WAV (2000) vs ffmpeg" 1.0 "$runs" \
    "$cli $work/in.ape $work/o-ape.wav" \
    "ffmpeg -nostdin -y -v error -i $work/in.ape $work/p-ape.wav"
compare "WAV->APE (2000) vs ffmpeg APE DECODE" 1.2 "$runs" \
    "$cli $in $work/o.ape --ape-level 2000" \
    "ffmpeg -nostdin -y -v error -i $work/in.ape $work/p-ape.wav"

# Peak memory must not grow with the input's length.
sox "$in" "$work/one.wav" trim 0 60
for f in flac mp3 ogg; do

    short=$(peak_kib "$cli $work/one.wav $work/m1.$f")
    long=$(peak_kib "$cli $in $work/m10.$f")
    echo "peak memory WAV->$f: 1 min $short KiB, 10 min $long KiB"
done
lame --quiet -b 128 "$work/one.wav" "$work/one.mp3"
short=$(peak_kib "$cli $work/one.mp3 $work/m1.wav")
long=$(peak_kib "$cli $work/in.mp3 $work/m10.wav")
echo "peak memory MP3->WAV: 1 min $short KiB, 10 min $long KiB (MP3 file $(($(stat -c %s "$work/in.mp3") / 1024)) KiB)"
