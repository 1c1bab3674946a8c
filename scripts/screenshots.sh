#!/bin/sh
# Pictures of the desktop program's windows at 100 % and 200 % scale, under a
# virtual X display: build/screenshots/100/*.png and build/screenshots/200/*.png,
# and the same at 100 % on a dark desktop in build/screenshots/dark/.
# Builds what it needs in the dev build tree first.
#
#   scripts/screenshots.sh [NAME...]   (NAMEs limit the tour to those windows:
#   welcome about skin message main wizard0 wizard1 wizard2 trackinfo chooser
#   recording recording-stopped settings-recording settings-split settings-proxy
#   settings-burning settings-folders settings-rip noisecapture enc-wav enc-mp3 enc-ogg enc-flac enc-ape convert
#   convert-running rip rip-running burn burn-running)
#
#   scripts/screenshots.sh --help-pictures   (after the tour, the 100 % pictures
#   the help pages show are copied into data/help/shots/)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

help_pictures=
if [ "${1:-}" = --help-pictures ]; then
    help_pictures=1
    shift
fi

export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
if [ ! -f build/dev/build.ninja ]; then
    cmake --preset dev >/dev/null
fi
cmake --build --preset dev -j2 --target kestrune_tour kestrune_help

out="$root/build/screenshots"
rm -rf "$out"
mkdir -p "$out/100" "$out/200" "$out/dark"

# A home of its own, so no settings of the user's are read or written.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/run"
chmod 700 "$home/run"

# The sound card for the main window: a virtual one playing three short
# "songs" with two seconds of quiet between them, in real time.
sox -q -n -r 44100 -c 2 -b 16 "$home/quiet.wav" trim 0 2
sox -q -n -r 44100 -c 2 -b 16 "$home/song1.wav" synth 6 sine 220 sine 330 tremolo 2 40 vol 0.5
sox -q -n -r 44100 -c 2 -b 16 "$home/song2.wav" synth 5 sine 262 sine 392 tremolo 3 50 vol 0.4
sox -q -n -r 44100 -c 2 -b 16 "$home/song3.wav" synth 30 sine 196 sine 294 tremolo 2 40 vol 0.5
sox -q "$home/quiet.wav" "$home/song1.wav" "$home/quiet.wav" "$home/song2.wav" "$home/quiet.wav" \
    "$home/song3.wav" "$home/quiet.wav" "$home/card.wav"

# A settings file for each run: that card, a recordings folder of its own, no
# on-line recognition (there is no network here), tracks from 3 seconds.
settings() { # NAME
    mkdir -p "$home/$1"
    cat >"$home/$1/kestrune.ini" <<INI
[General]
Folder=$home/$1/Records
[Recording]
Driver=virtual:$home/card.wav
[Recordings]
AutoRecognize=0
Format=WAV
[Silence]
SilenceLg=1500
MinLength=3
Level16=1500
INI
    echo "$home/$1/kestrune.ini"
}

shoot() { # SCALE [--dark] FOLDER NAME...
    scale=$1
    shift
    dark=
    if [ "$1" = --dark ]; then
        dark=--dark
        shift
    fi
    config=$(settings "run$scale$dark")
    set -- $dark --config "$config" "$@"
    HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" \
        xvfb-run -a -s "-screen 0 2560x1600x24" \
        build/dev/tests/tour/kestrune_tour "$@"
}

shoot 1 "$out/100" "$@"
shoot 2 "$out/200" "$@"
# The skin on a dark desktop.
shoot 1 --dark "$out/dark" "$@"
echo "Screenshots in $out"

if [ -n "$help_pictures" ]; then
    # The pictures the help pages name, and no others.
    mkdir -p data/help/shots
    for page in data/help/*.html; do
        grep -o 'src="shots/[^"]*\.png"' "$page" | sed 's/^src="shots\///; s/"$//'
    done | sort -u | while read -r picture; do
        cp "$out/100/$picture" "data/help/shots/$picture"
    done
    echo "Help pictures in data/help/shots"
fi
