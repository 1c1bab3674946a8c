#!/bin/sh
# The main job on a machine without a sound card: installs, builds the
# command-line program alone (the demo preset: optimised, no tests, no
# benchmarks) and records the built-in virtual sound card's demo signal (several
# songs with quiet between them, in real time, about a minute) into one file
# per song under build/demo/Records/Demo, then lists the files that came out
# (a second run adds its tracks after the first run's).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset demo
cmake --build --preset demo -j "$(nproc)"
out=build/demo
mkdir -p "$out"
./build/release-demo/src/cli/kestrune-cli record --album Demo --device virtual:demo \
    --folder "$out/Records" --format WAV --config "$out/kestrune.ini"
echo "Tracks in $out/Records/Demo:"
ls -l "$out/Records/Demo"
