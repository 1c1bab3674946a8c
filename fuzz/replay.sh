#!/usr/bin/env bash
# The regression test of one fuzz target: makes its seeds (fuzz/seeds.sh) in
# a fresh folder and runs the target's replay driver over them and over the
# target's past findings in fuzz/regressions/TARGET.
#
# Usage: fuzz/replay.sh TARGET DRIVER WORK_DIR
set -euo pipefail
target=$1
driver=$2
work=$3
root=$(cd "$(dirname "$0")" && pwd)
seeds=$work/seeds-$target
rm -rf "$seeds"
"$root/seeds.sh" "$target" "$seeds"
exec "$driver" "$seeds" "$root/regressions/$target"
