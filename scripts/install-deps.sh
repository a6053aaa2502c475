#!/bin/sh
# Installs every Debian 12 package that building, running and testing Sonabox needs.
# Runs as root; started by another user, it runs itself again through sudo.
set -eu
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "$0: run this as root (sudo is not installed)" >&2
        exit 1
    fi
    exec sudo sh "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
    cmake make g++ pkg-config \
    clang libclang-rt-14-dev llvm \
    qt6-base-dev libgl-dev \
    libmpg123-dev libsndfile1-dev libmp3lame-dev libtwolame-dev libsamplerate0-dev libsdl2-dev \
    libgtest-dev googletest \
    fonts-dejavu-core \
    ffmpeg mpg123 lame sox time \
    pulseaudio pulseaudio-utils \
    dpkg-dev file binutils desktop-file-utils appstream lintian
