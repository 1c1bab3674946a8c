#!/bin/sh
# Builds the Debian package of a build tree into a scratch folder and checks
# what it declares and holds: the libraries loaded at run time are named (the
# linked ones come from dpkg-shlibdeps), and the programs, the menu entry, the
# software-centre entry, the icon and the data files are inside.
# Usage: check_deb.sh BUILD_DIR WITH_DESKTOP_PROGRAM(0|1)
set -eu
build=$1
with_gui=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    exit 1
}
deb=$(ls "$scratch"/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
files=$(dpkg-deb -c "$deb" | awk '{print $6}')

status=0
declares() { # FIELD-VALUE PACKAGE
    case ", $1," in
    *", $2"[\ ,]*) ;;
    *) echo "not declared: $2 (in: $1)"; status=1 ;;
    esac
}
for package in libasound2 libmp3lame0 libc6 libstdc++6 libsoxr0; do
    declares "$depends" $package
done
if [ "$with_gui" = 1 ]; then
    declares "$depends" libqt6widgets6
    declares "$depends" libqt6svg6
fi
for package in libpulse0 libmpg123-0 libflac12 libvorbis0a libvorbisenc2 libvorbisfile3 libchromaprint1 libcurl4; do
    declares "$recommends" $package
done

holds() {
    if ! printf '%s\n' "$files" | grep -q "/$1\$"; then
        echo "not in the package: $1"
        status=1
    fi
}
holds bin/kestrune-cli
if [ "$with_gui" = 1 ]; then
    holds bin/kestrune
fi
holds share/applications/kestrune.desktop
holds share/metainfo/org.kestrune.Kestrune.metainfo.xml
holds share/icons/hicolor/scalable/apps/kestrune.svg
holds share/kestrune/kestrune.gen
holds share/kestrune/help/index.html
exit $status
