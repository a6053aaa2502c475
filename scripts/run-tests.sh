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

# Each step's wall time and the processor time of what it ran, for the log: "== step: ...".
# `times` reports this shell's children, so it runs here, not in a command substitution.
times_file=$(mktemp)
trap 'rm -f "$times_file"' EXIT
cpu_seconds() {
    awk 'NR == 2 { gsub(/[ms]/, " "); print $1 * 60 + $2 + $3 * 60 + $4 }' "$times_file"
}
step() {
    name=$1
    shift
    step_start=$(date +%s)
    times >"$times_file"
    step_cpu=$(cpu_seconds)
    step_status=0
    "$@" || step_status=$?
    times >"$times_file"
    echo "== $name: $(($(date +%s) - step_start)) s wall," \
        "$(awk "BEGIN { printf \"%.0f\", $(cpu_seconds) - $step_cpu }") s processor"
    return "$step_status"
}

all_start=$(date +%s)
step install-test-deps scripts/install-test-deps.sh
step check-format scripts/check-format.sh
# The release preset of CMakePresets.json: build/, with the tests; its test preset runs them
# offscreen and shows the output of a failed test.
step configure cmake --preset release -DSONABOX_WERROR=ON
step lint scripts/lint.sh build
step build cmake --build --preset release -j"$jobs"
# The tests wait on the programs they run, on sound and on timers for about a third of their
# time: one more at once than there are cores keeps the cores busy.
step ctest ctest --preset release -j"$((jobs + 1))"
step package cmake --build build --target package
# The package's checks (lintian, and as root an install and a start) and the sanitizers' tests
# wait more than they compute: the package is checked and the fuzzers are built meanwhile, and
# their reports follow the sanitizers'. Each fuzzer then runs with a core to itself.
scripts/check-package.sh >build/check-package.log 2>&1 &
package=$!
scripts/fuzz.sh 0 >build/fuzz-build.log 2>&1 &
fuzz_build=$!
status=0
step sanitizers scripts/sanitize-decoder.sh || status=1
wait "$package" || { status=1; echo "check-package: FAILED" >>build/check-package.log; }
cat build/check-package.log
wait "$fuzz_build" || { status=1; echo "fuzz: the build FAILED" >>build/fuzz-build.log; }
cat build/fuzz-build.log
[ "$status" -eq 0 ]
step fuzz scripts/fuzz.sh 30
times >"$times_file"
echo "== all: $(($(date +%s) - all_start)) s wall, $(cpu_seconds | cut -d. -f1) s processor"
