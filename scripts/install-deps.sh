#!/bin/sh
# Installs the Debian 12 packages that building and running Sonabox need (the tools of the
# tests come with scripts/install-test-deps.sh). Ninja and lld are what the presets of
# CMakePresets.json build and link with. As root, or through sudo for another user.
set -eu
. "$(dirname "$0")/lib/packages.sh"
install_packages \
    cmake make ninja-build lld g++ pkg-config \
    qt6-base-dev libgl-dev qt6-wayland \
    libmpg123-dev libsndfile1-dev libmp3lame-dev libtwolame-dev libsamplerate0-dev libsdl2-dev \
    libtag1-dev libflac-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev \
    fonts-dejavu-core xdg-utils \
    dpkg-dev file
