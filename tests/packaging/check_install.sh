#!/bin/sh
# Installs the build into a scratch folder and checks that every file the
# desktop needs lies in its XDG place, and that the installed entries pass the
# desktop's own validators.
# Usage: check_install.sh BUILD_DIR WITH_DESKTOP_PROGRAM(0|1)
set -eu
build=$1
with_gui=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/usr" >/dev/null

status=0
expect() {
    if [ ! -f "$scratch/usr/$1" ]; then
        echo "missing after install: $1"
        status=1
    fi
}
expect bin/kestrune-cli
if [ "$with_gui" = 1 ]; then
    expect bin/kestrune
fi
expect share/applications/kestrune.desktop
expect share/metainfo/org.kestrune.Kestrune.metainfo.xml
expect share/icons/hicolor/scalable/apps/kestrune.svg
expect share/kestrune/kestrune.gen
expect share/kestrune/help/index.html
expect share/kestrune/help/help.css
expect share/kestrune/help/icons/start.svg

desktop-file-validate "$scratch/usr/share/applications/kestrune.desktop" || status=1
appstreamcli validate --no-net "$scratch/usr/share/metainfo/org.kestrune.Kestrune.metainfo.xml" || status=1
# The menu entry starts a program the package has, by the icon it installs.
grep -qx 'Exec=kestrune' "$scratch/usr/share/applications/kestrune.desktop" || { echo "Exec is not kestrune"; status=1; }
grep -qx 'Icon=kestrune' "$scratch/usr/share/applications/kestrune.desktop" || { echo "Icon is not kestrune"; status=1; }
exit $status
