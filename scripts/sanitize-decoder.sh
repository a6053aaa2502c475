#!/usr/bin/env bash
# Builds the decoder library and its tests with AddressSanitizer (plus UBSan) and with
# ThreadSanitizer, and runs the tests; under ThreadSanitizer also the encoder core's tests and
# the house encoder coding files in chunks on several threads, and the programs sharing job
# slots. Exits non-zero on a failed test or any sanitizer report.
#   scripts/sanitize-decoder.sh [address|thread]...   (default: both)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
sanitizers=("$@")
[ ${#sanitizers[@]} -eq 0 ] && sanitizers=(address thread)

# A report stops the test process with exit code 66, which fails its test.
export ASAN_OPTIONS="halt_on_error=1:exitcode=66:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:exitcode=66:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1"

status=0
for sanitizer in "${sanitizers[@]}"; do
    # The configure presets of CMakePresets.json, each with its own build folder.
    case "$sanitizer" in
    address) preset=asan ;;
    thread) preset=tsan ;;
    *) echo "unknown sanitizer: $sanitizer" >&2; exit 2 ;;
    esac
    build="$root/build-$preset"
    echo "== $sanitizer"
    (cd "$root" && cmake --preset "$preset" >/dev/null)
    targets=(mpegdll mpegdll_test)
    if [ "$sanitizer" = thread ]; then
        targets+=(sonabox_encoder_core_tests sonabox_encoder_program_tests)
    fi
    cmake --build "$build" -j2 --target "${targets[@]}"
    if ! ctest --test-dir "$build" -R '^mpegdll_test\.' --no-tests=error --output-on-failure; then
        echo "== $sanitizer: FAILED" >&2
        status=1
    fi
    if [ "$sanitizer" = thread ]; then
        # The encoder programs run by the tests inherit TSAN_OPTIONS: a report fails their run.
        tests="$build/tools/encoders/tests"
        if ! "$tests/sonabox_encoder_core_tests" ||
            ! "$tests/sonabox_encoder_program_tests" \
                --gtest_filter='Joins/ParallelEncoding.*:Programs/SharedSlots.*'; then
            echo "== $sanitizer (encoders): FAILED" >&2
            status=1
        fi
    fi
done
exit $status
