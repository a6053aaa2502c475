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

# One sanitizer's tests, with the output in $build/sanitize-tests.log; fails on a failed test.
# Under ThreadSanitizer the encoders' tests run beside the decoder library's (whose cases run
# one at a time), one on each core.
run_tests() {
    local sanitizer=$1 build=$2 encoders="" failed=0
    if [ "$sanitizer" = thread ]; then
        # The encoder programs run by the tests inherit TSAN_OPTIONS: a report fails their run.
        local tests="$build/tools/encoders/tests"
        {
            "$tests/sonabox_encoder_core_tests" &&
                "$tests/sonabox_encoder_program_tests" \
                    --gtest_filter='Joins/ParallelEncoding.*:Programs/SharedSlots.*'
        } >"$build/encoder-tests.log" 2>&1 &
        encoders=$!
    fi
    if ! ctest --test-dir "$build" -R '^mpegdll_test\.' --no-tests=error --output-on-failure; then
        echo "== $sanitizer: FAILED" >&2
        failed=1
    fi
    if [ -n "$encoders" ]; then
        if wait "$encoders"; then
            tail -n 3 "$build/encoder-tests.log"
        else
            cat "$build/encoder-tests.log"
            echo "== $sanitizer (encoders): FAILED" >&2
            failed=1
        fi
    fi
    return $failed
}

# Each sanitizer's tests run in the background while the next one builds; their reports
# follow in order.
runs=()
for sanitizer in "${sanitizers[@]}"; do
    # The configure presets of CMakePresets.json, each with its own build folder.
    case "$sanitizer" in
    address) preset=asan ;;
    thread) preset=tsan ;;
    *) echo "unknown sanitizer: $sanitizer" >&2; exit 2 ;;
    esac
    build="$root/build-$preset"
    echo "== $sanitizer: building"
    (cd "$root" && cmake --preset "$preset" >/dev/null)
    targets=(mpegdll mpegdll_test)
    if [ "$sanitizer" = thread ]; then
        targets+=(sonabox_encoder_core_tests sonabox_encoder_program_tests)
    fi
    cmake --build "$build" -j2 --target "${targets[@]}"
    run_tests "$sanitizer" "$build" >"$build/sanitize-tests.log" 2>&1 &
    runs+=("$sanitizer:$build:$!")
done
status=0
for run in "${runs[@]}"; do
    IFS=: read -r sanitizer build pid <<<"$run"
    result=0
    wait "$pid" || result=$?
    echo "== $sanitizer: tests"
    cat "$build/sanitize-tests.log"
    [ "$result" -eq 0 ] || status=1
done
exit $status
