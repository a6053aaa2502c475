#!/bin/sh
# Builds Sonabox and runs every test: the whole program's tests, then the decoder library's
# tests under AddressSanitizer and ThreadSanitizer.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs"
scripts/sanitize-decoder.sh
