#!/bin/sh
# Installs everything, builds the dev preset (debug, warnings as errors) and
# runs every test of the default run: unit and peer; then builds the asan
# preset and runs the unit tests again under AddressSanitizer and UBSan,
# which catch memory faults and undefined behaviour a plain build lets pass.
# Fails when a test fails or when no test ran.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset dev
cmake --build --preset dev -j "$(nproc)"
ctest --preset dev -j "$(nproc)" --label-exclude slow
cmake --preset asan
cmake --build --preset asan -j "$(nproc)"
ctest --preset asan -j "$(nproc)" -L unit
