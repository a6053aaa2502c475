#!/bin/sh
# Installs the test tools (scripts/install-test-deps.sh), builds Sonabox with its tests and runs
# every test: the whole program's tests; the Debian package, validated
# (and, as root, installed, started and removed); the decoder library's and the encoders' tests
# under AddressSanitizer and ThreadSanitizer; and each fuzzer for 30 seconds.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
scripts/install-test-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONABOX_TESTS=ON
cmake --build build -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs"
cmake --build build --target package
scripts/check-package.sh
scripts/sanitize-decoder.sh
scripts/fuzz.sh 30
