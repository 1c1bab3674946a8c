#!/bin/sh
# Installs everything, builds the dev preset (debug, warnings as errors) and
# runs every test of the default run: unit and peer. Then it builds the asan
# preset and runs the unit tests again under AddressSanitizer and UBSan, which
# catch memory faults and undefined behaviour a plain build lets pass; that is
# a whole second tree, and --no-asan leaves it out for a quick local run.
# Fails when a test fails or when no test ran.
set -eu
cd "$(dirname "$0")/.."
asan=1
case "${1:-}" in
--no-asan) asan=0 ;;
"") ;;
*) echo "usage: scripts/test.sh [--no-asan]" >&2; exit 2 ;;
esac
./scripts/setup.sh
cmake --preset dev
cmake --build --preset dev -j "$(nproc)"
ctest --preset dev -j "$(nproc)" --label-exclude slow
if [ "$asan" = 1 ]; then
    cmake --preset asan
    cmake --build --preset asan -j "$(nproc)"
    ctest --preset asan -j "$(nproc)" -L unit
fi
