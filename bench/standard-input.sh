#!/bin/sh
# Builds the standard performance input: five tracks of the game music in
# Debian's wesnoth-1.16-music, joined with 3-second gaps of quiet white noise,
# 44.1 kHz stereo 16-bit, about 601.4 s, so it resembles a recording of
# several songs. sox runs with -R, so the file is the same on every run.
# Usage: bench/standard-input.sh OUTDIR   (writes OUTDIR/std44.wav)
set -eu
out=${1:?usage: standard-input.sh OUTDIR}
if [ -z "${WESNOTH_MUSIC:-}" ]; then
    probe=$(dpkg -L wesnoth-1.16-music 2>/dev/null | grep '/music/loyalists\.ogg$' | head -n 1) || true
    if [ -z "$probe" ]; then
        echo "standard-input.sh: run ./scripts/setup.sh --bench first (needs wesnoth-1.16-music)" >&2
        exit 1
    fi
    WESNOTH_MUSIC=$(dirname "$probe")
fi
m=$WESNOTH_MUSIC
mkdir -p "$out"
gap="$out/gap3s.wav"
sox -R -n -r 44100 -c 2 -b 16 "$gap" synth 3 whitenoise vol -60dB
sox -R "$m/battle-epic.ogg" "$gap" "$m/frantic.ogg" "$gap" "$m/loyalists.ogg" "$gap" \
    "$m/love_theme.ogg" "$gap" "$m/revelation.ogg" \
    -r 44100 -c 2 -b 16 -e signed-integer "$out/std44.wav"
rm -f "$gap"
