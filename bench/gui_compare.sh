#!/bin/sh
# The desktop program's start-up against the floor of any Qt Widgets program on
# this machine (one empty window), side by side in one run under Xvfb: wall
# time from exec to the first painted main window (goal: ratio at most 2), and
# peak resident memory (goal: at most 2 x the floor's).
# Usage: bench/gui_compare.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
. bench/lib.sh
runs=${1:-10}
cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target kestrune kestrune-qt-floor >/dev/null
app=$(realpath build/release/src/app/kestrune)
floor=$(realpath build/release/bench/kestrune-qt-floor)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A settings file with a capture device, so that neither the first-run pass
# nor the missing-device warning stands between start and the first paint.
sox -n -r 22050 -c 2 -b 16 "$work/capture.wav" synth 5 sine 440 vol 0.3
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
EOS
xvfb-run -a -s "-screen 0 1280x800x24" sh "$work/run.sh"
