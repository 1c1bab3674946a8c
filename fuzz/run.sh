#!/usr/bin/env bash
# Builds a libFuzzer target with the "fuzz" preset (clang, ASan and UBSan) and
# runs it for a given time on its corpus in fuzz/corpus-TARGET (kept between
# runs, ignored by git). Prints the executions and the findings; a finding is
# saved under fuzz/artifacts/TARGET/ and makes the script exit with status 1.
#
# Usage: fuzz/run.sh TARGET SECONDS [libFuzzer options...]
#   e.g. fuzz/run.sh wav_reader_fuzz 600 -jobs=1
# BUILD_DIR chooses the build folder (default build/fuzz).
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 TARGET SECONDS [libFuzzer options...]" >&2
    exit 2
fi
target=$1
seconds=$2
shift 2

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${BUILD_DIR:-$root/build/fuzz}")
corpus=$root/fuzz/corpus-$target
artifacts=$root/fuzz/artifacts/$target
mkdir -p "$corpus" "$artifacts"

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target "$target"
binary=$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)
[ -n "$binary" ] || { echo "no binary for $target" >&2; exit 1; }

# A few small real files give the fuzzer the shapes of each format at once,
# and the past findings are where it left off.
if [ -z "$(ls -A "$corpus")" ]; then
    "$root/fuzz/seeds.sh" "$target" "$corpus"
    if [ -d "$root/fuzz/regressions/$target" ]; then
        cp "$root/fuzz/regressions/$target"/* "$corpus"/ 2>/dev/null || true
    fi
fi

before=$(ls "$artifacts" | wc -l)
work=$(mktemp -d)
log=$work/run.log
status=0
# libFuzzer writes the output of -jobs workers into fuzz-N.log in the
# current folder; run in a folder of our own and gather them afterwards.
(cd "$work" && "$binary" "$corpus" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$@") >"$log" 2>&1 || status=$?
if ! grep -q 'stat::number_of_executed_units' "$log"; then
    cat "$work"/fuzz-*.log >>"$log" 2>/dev/null || true
fi
tail -n 25 "$log"

executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | awk '{ s += $1 } END { if (NR) print s }' || true)
after=$(ls "$artifacts" | wc -l)
echo "----"
echo "target:     $target"
echo "time:       ${seconds} s"
echo "executions: ${executions:-unknown}"
echo "corpus:     $(ls "$corpus" | wc -l) inputs in $corpus"
echo "findings:   $((after - before)) new in $artifacts (exit status $status)"
ls -t "$artifacts" | head -n $((after - before)) | sed 's/^/  /'
rm -rf "$work"
if [ "$status" -ne 0 ] || [ "$after" -ne "$before" ]; then
    exit 1
fi
