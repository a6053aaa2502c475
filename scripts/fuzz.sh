#!/bin/sh
# Builds every libFuzzer target (fuzz_*) with clang in build-fuzz/ and runs each for SECONDS,
# starting from a temporary copy of its seed corpus (fuzz/corpus/<name> beside its source).
# Each fuzzer runs on one core, so as many run at once as there are cores: every target still
# gets SECONDS of a core to itself. Prints each target's executions and time; fails when any
# target finds a crash, and keeps the crashing input in build-fuzz/crashes/<target>/.
# SECONDS 0 only builds the targets.
#   scripts/fuzz.sh SECONDS
set -eu
if [ $# -ne 1 ] || ! [ "$1" -ge 0 ] 2>/dev/null; then
    echo "usage: $0 SECONDS" >&2
    exit 2
fi
seconds=$1
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# The platform targets need Qt, so the GUI parts are configured (only fuzz targets are built);
# without Qt the targets of the other parts still run. The fuzz preset of CMakePresets.json
# picks clang and build-fuzz/.
configure() {
    cmake --preset fuzz -DSONABOX_WITH_GUI="$1" >build-fuzz/configure.log 2>&1
}
mkdir -p build-fuzz
if ! configure ON; then
    if ! grep -q 'package configuration file provided by "Qt6' build-fuzz/configure.log; then
        cat build-fuzz/configure.log >&2
        exit 1
    fi
    echo "fuzz: no Qt 6, so only the targets without Qt are fuzzed" >&2
    configure OFF || { cat build-fuzz/configure.log >&2; exit 1; }
fi
# Makefiles list targets as "... name", Ninja as "name: phony"; Qt's code generators add
# helper targets named <target>_autogen.
targets=$(cmake --build build-fuzz --target help |
    sed -n -E 's/^(\.\.\. )?(fuzz_[A-Za-z0-9_]+)(: .*)?$/\2/p' | grep -v '_autogen' | sort -u)
if [ -z "$targets" ]; then
    echo "fuzz: no fuzz_* targets" >&2
    exit 1
fi
# shellcheck disable=SC2086 # one word per target
cmake --build build-fuzz -j"$jobs" --target $targets
if [ "$seconds" -eq 0 ]; then
    echo "fuzz: $(echo "$targets" | wc -l) targets built"
    exit 0
fi

# Undefined behaviour fails a run as a crash does; no fuzzer needs a sound card.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export SDL_AUDIODRIVER=dummy

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
# One target's run; leaves its summary line in $work/<name>.line and, on a crash, $work/<name>.failed.
fuzz_target() {
    target=$1
    name=${target#fuzz_}
    binary=$(find build-fuzz -type f -name "$target" -perm -u+x | head -n 1)
    if [ -z "$binary" ]; then
        echo "fuzz: $target was not built" >&2
        echo "$target: not built" >"$work/$name.line"
        touch "$work/$name.failed"
        return
    fi
    seeds=$(find . -path ./build-fuzz -prune -o -path "*/fuzz/corpus/$name" -type d -print |
        head -n 1)
    corpus="$work/$name"
    mkdir -p "$corpus"
    if [ -n "$seeds" ]; then
        cp -R "$seeds"/. "$corpus"/
    else
        echo "fuzz: $target has no seed corpus, starting empty" >&2
    fi
    log="$work/$name.log"
    echo "fuzz: running $target for $seconds s"
    start=$(date +%s)
    status=0
    "$binary" -max_total_time="$seconds" -timeout=5 -print_final_stats=1 \
        -artifact_prefix="$work/$name-" "$corpus" >"$log" 2>&1 || status=$?
    elapsed=$(($(date +%s) - start))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    line="$target: ${runs:-?} executions in $elapsed s (${rate:-?}/s)"
    if [ "$status" -ne 0 ]; then
        mkdir -p "build-fuzz/crashes/$target"
        find "$work" -maxdepth 1 -type f -name "$name-*" -exec cp {} "build-fuzz/crashes/$target/" \;
        tail -n 60 "$log" >&2
        line="$line FAILED (exit $status, inputs in build-fuzz/crashes/$target/)"
        touch "$work/$name.failed"
    fi
    echo "$line" >"$work/$name.line"
}

# The targets run in rounds of $jobs, in the background; all runs of a round last SECONDS.
running=0
for target in $targets; do
    fuzz_target "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait
        running=0
    fi
done
wait
failed=""
summary=""
for target in $targets; do
    name=${target#fuzz_}
    line=$(cat "$work/$name.line" 2>/dev/null || echo "$target: no result")
    echo "$line"
    summary="$summary$line
"
    if [ -f "$work/$name.failed" ] || ! [ -f "$work/$name.line" ]; then
        failed="$failed $target"
    fi
done
printf '\nfuzz summary:\n%s' "$summary"
if [ -n "$failed" ]; then
    echo "fuzz: crashes in:$failed" >&2
    exit 1
fi
