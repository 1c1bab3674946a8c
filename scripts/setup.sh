#!/bin/sh
# Installs every Debian package Kestrune builds with, links against at run time,
# or compares itself with in the peer tests. Safe to run again; asks nothing.
set -eu

PACKAGES="
  build-essential g++ clang libclang-rt-14-dev cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libmpg123-0 libmpg123-dev
  libmp3lame0 libmp3lame-dev mpg123
  libflac12 libflac-dev
  libogg0 libogg-dev libvorbis0a libvorbisenc2 libvorbisfile3 libvorbis-dev
  sox libsox-fmt-all ffmpeg flac lame vorbis-tools
  hyperfine
  libasound2-dev alsa-utils libpulse-dev pulseaudio pulseaudio-utils libsoxr-dev
  default-jre-headless libjmac-java
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  xvfb xauth x11-utils imagemagick fonts-dejavu-core dbus python3
  desktop-file-utils appstream
  libchromaprint1 libchromaprint-dev libchromaprint-tools libcurl4-openssl-dev nlohmann-json3-dev libcpp-httplib-dev
  libcdio-dev libcdio-paranoia-dev libdiscid-dev cd-paranoia libcdio-utils libburn-dev zlib1g-dev
  whipper
"

# Only the benchmarks need these (the standard performance input is made from
# a game's music): ./scripts/setup.sh --bench
BENCH_PACKAGES="wesnoth-1.16-music time"
if [ "${1:-}" = "--bench" ]; then
    PACKAGES="$PACKAGES $BENCH_PACKAGES"
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $PACKAGES
