#!/bin/sh
# The desktop program's start-up against the floor of any Qt Widgets program on
# this machine (one empty window), side by side in one run under Xvfb: wall
# time from exec to the first painted main window (goal: ratio at most 2), and
# peak resident memory (goal: at most 2 x the floor's).
# Then the GUI thread while the program records a minute with song
# recognition on (goal: never kept from its event loop longer than 20 ms).
# Usage: bench/gui_compare.sh [RUNS] [PRESET] (PRESET: release, or dev)
set -eu
cd "$(dirname "$0")/.."
. bench/lib.sh
runs=${1:-10}
preset=${2:-release}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j 2 --target kestrune kestrune-qt-floor kestrune-gui-latency >/dev/null
app=$(realpath build/$preset/src/app/kestrune)
floor=$(realpath build/$preset/bench/kestrune-qt-floor)
latency=$(realpath build/$preset/bench/kestrune-gui-latency)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A settings file with a capture device, so that neither the first-run pass
# nor the missing-device warning stands between start and the first paint.
sox -n -r 22050 -c 2 -b 16 "$work/capture.wav" synth 5 sine 440 vol 0.3
# A minute and more of songs (20 s each) with 2 s of quiet between them.
for i in 1 2 3 4; do
    sox -n -r 22050 -c 2 -b 16 "$work/song$i.wav" synth 20 sine $((200 + 60 * i)) tremolo 3 40 vol 0.4
    sox -n -r 22050 -c 2 -b 16 "$work/gap$i.wav" trim 0 2
done
sox "$work/song1.wav" "$work/gap1.wav" "$work/song2.wav" "$work/gap2.wav" "$work/song3.wav" "$work/gap3.wav" \
    "$work/song4.wav" "$work/gap4.wav" "$work/songs.wav"
printf '[General]\nFolder=%s/Records/\n[Recording]\nDriver=virtual:%s/capture.wav\n' "$work" "$work" >"$work/k.ini"

cat >"$work/run.sh" <<EOS
#!/bin/sh
set -eu
. bench/lib.sh
work=$work
export XDG_RUNTIME_DIR=$work/run
mkdir -p $work/run
chmod 700 $work/run
compare "start-up to the first painted window" 2 $runs \
    "$app --config $work/k.ini --quit-after-first-paint" \
    "$floor --quit-after-first-paint"
ours=\$(for i in 1 2 3 4 5; do peak_kib "$app --config $work/k.ini --quit-after-first-paint"; done | sort -n | sed -n 3p)
peer=\$(for i in 1 2 3 4 5; do peak_kib "$floor --quit-after-first-paint"; done | sort -n | sed -n 3p)
awk -v o="\$ours" -v p="\$peer" 'BEGIN { r = o / p; printf "%-36s ours %7d KiB  floor %7d KiB  ratio %.2f  goal <= 2  %s\n", "peak memory at start-up (median of 5)", o, p, r, (r <= 2 ? "met" : "MISSED") }'
$latency $work/songs.wav 60
EOS
xvfb-run -a -s "-screen 0 1280x800x24" sh "$work/run.sh"
