#!/bin/sh
# Installs every Debian 12 package that building, running and testing Sonabox needs.
# Run as root.
set -eu
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
    cmake make g++ pkg-config \
    qt6-base-dev libgl-dev \
    libmpg123-dev libsndfile1-dev libmp3lame-dev libtwolame-dev libsamplerate0-dev libsdl2-dev \
    libgtest-dev googletest \
    fonts-dejavu-core \
    ffmpeg mpg123 lame sox time
