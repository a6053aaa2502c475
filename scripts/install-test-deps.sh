#!/bin/sh
# Installs the Debian 12 packages that the tests need beyond scripts/install-deps.sh: GoogleTest,
# the audio tools that check results, clang for the fuzzers, clang-format and clang-tidy for the
# format and lint checks, the package checks, a PulseAudio server, and the private desktop
# sessions of the accessibility and Wayland tests. As root, or through sudo for another user.
set -eu
. "$(dirname "$0")/lib/packages.sh"
install_packages \
    libgtest-dev googletest \
    clang libclang-rt-14-dev llvm clang-format clang-tidy \
    ffmpeg mpg123 lame sox time flac vorbis-tools opus-tools wavpack python3-numpy strace \
    pulseaudio pulseaudio-utils \
    desktop-file-utils appstream lintian \
    dbus at-spi2-core python3-pyatspi xvfb xauth openbox weston imagemagick dunst
