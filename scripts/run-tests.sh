#!/bin/sh
# Installs the test tools (scripts/install-test-deps.sh), checks the layout of the C and C++
# files (scripts/check-format.sh) and the files changed on this branch with clang-tidy
# (scripts/lint.sh), builds Sonabox with its tests, every warning an error, and runs every
# test: the whole program's tests; the Debian package, validated (and, as root, installed,
# started and removed); the decoder library's and the encoders' tests under AddressSanitizer
# and ThreadSanitizer; and each fuzzer for 30 seconds (as many at once as there are cores).
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
scripts/install-test-deps.sh
scripts/check-format.sh
# The release preset of CMakePresets.json: build/, with the tests; its test preset runs them
# offscreen and shows the output of a failed test.
cmake --preset release -DSONABOX_WERROR=ON
scripts/lint.sh build
cmake --build --preset release -j"$jobs"
ctest --preset release -j"$jobs"
cmake --build build --target package
# The package's checks (lintian, and as root an install and a start) wait more than they
# compute: they run while the sanitizer builds start, their report follows the sanitizers'.
scripts/check-package.sh >build/check-package.log 2>&1 &
package=$!
status=0
scripts/sanitize-decoder.sh || status=1
wait "$package" || { status=1; echo "check-package: FAILED" >>build/check-package.log; }
cat build/check-package.log
[ "$status" -eq 0 ]
scripts/fuzz.sh 30
