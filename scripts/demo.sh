#!/bin/sh
# The main job on a machine without a sound card: installs, builds the release
# preset, makes a test signal of three "songs" with quiet between them and
# converts it with kestrune-cli.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset release
cmake --build --preset release -j "$(nproc)"
out=build/demo
mkdir -p "$out"
sox -R -n -r 44100 -c 2 -b 16 "$out/signal.wav" \
    synth 20 sine 440 sine 660 vol 0.5 pad 0 3 : \
    synth 15 pluck C4 pluck E4 vol 0.5 pad 0 3 : \
    synth 25 sine 220-880 sine 330-990 vol 0.5
./build/release/src/cli/kestrune-cli convert "$out/signal.wav" "$out/signal-adpcm.wav" --wav-type dvi-adpcm
./build/release/src/cli/kestrune-cli convert "$out/signal-adpcm.wav" "$out/signal-back.wav"
