#!/bin/sh
# Lints the project's own sources without changing them: clang-format
# --dry-run over src, tests, bench and fuzz, and clang-tidy (.clang-tidy)
# over the translation units of a build's compile_commands.json.
#
#   scripts/lint.sh [--format-only | --tidy-only] [BUILD_DIR] [PATH_REGEX]
#
# BUILD_DIR defaults to build/dev (made by `cmake --preset dev`); PATH_REGEX
# picks the translation units for clang-tidy (default: everything under
# src/). Prints each finding and a count per tool; the exit status is 1 when
# there is a finding.
set -eu
cd "$(dirname "$0")/.."
format=1
tidy=1
case "${1:-}" in
--format-only) tidy=0; shift ;;
--tidy-only) format=0; shift ;;
esac
build=${1:-build/dev}
filter=${2:-/src/}
status=0

if [ "$format" = 1 ]; then
    out=$(mktemp)
    git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' |
        xargs clang-format --dry-run 2> "$out" || true
    count=$(grep -c 'warning:' "$out" || true)
    files=$(grep 'warning:' "$out" | cut -d: -f1 | sort -u | wc -l)
    cat "$out"
    rm -f "$out"
    echo "clang-format: $count places in $files files would change"
    [ "$count" = 0 ] || status=1
fi

if [ "$tidy" = 1 ]; then
    if [ ! -f "$build/compile_commands.json" ]; then
        echo "lint: $build/compile_commands.json is missing; configure first (cmake --preset dev)" >&2
        exit 2
    fi
    out=$(mktemp)
    run-clang-tidy -quiet -p "$build" -j "$(nproc)" "$filter" > "$out" 2>/dev/null || true
    # Each finding once, though a header is seen from many sources; without
    # the colours clang-tidy may add.
    sed 's/\x1b\[[0-9;]*m//g' "$out" | grep -E '^/.*: (warning|error): ' | sort -u > "$out.found" || true
    cat "$out.found"
    count=$(wc -l < "$out.found")
    echo "clang-tidy: $count findings"
    grep -oE '\[[a-z0-9.,-]+\]$' "$out.found" | sort | uniq -c | sort -rn
    rm -f "$out" "$out.found"
    [ "$count" = 0 ] || status=1
fi
exit "$status"
