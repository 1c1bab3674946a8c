#!/bin/sh
# Pictures of the desktop program's windows at 100 % and 200 % scale, under a
# virtual X display: build/screenshots/100/*.png and build/screenshots/200/*.png,
# and the same at 100 % on a dark desktop in build/screenshots/dark/.
# Builds what it needs in the dev build tree first.
#
#   scripts/screenshots.sh [NAME...]   (NAMEs limit the tour to those windows)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
if [ ! -f build/dev/build.ninja ]; then
    cmake --preset dev >/dev/null
fi
cmake --build --preset dev -j2 --target kestrune_tour

out="$root/build/screenshots"
rm -rf "$out"
mkdir -p "$out/100" "$out/200" "$out/dark"

# A home of its own, so no settings of the user's are read or written.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/run"
chmod 700 "$home/run"

shoot() { # SCALE [--dark] FOLDER NAME...
    scale=$1
    shift
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
