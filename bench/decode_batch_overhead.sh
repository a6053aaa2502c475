#!/usr/bin/env bash
# Per-file overhead of a decode batch: 50 MP3 files of 3 s (stereo 128 kbit/s, made by lame)
# decoded by the Decode button of the real main window (offscreen), beside `mpg123 -w` on each
# file in turn in the same run.
#   bench/decode_batch_overhead.sh [BUILD_DIR]     (default: build)
# Target on 2 cores: the batch takes at most mpg123's time + 30 ms per file.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=50
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target decode_batch_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for ((i = 1; i <= files; i++)); do
    ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:amplitude=0.2:duration=3:seed=$i" \
        -ac 2 -c:a pcm_s16le "$work/signal.wav"
    lame --quiet -b 128 "$work/signal.wav" "$(printf '%s/track%02d.mp3' "$work" "$i")"
done
rm "$work/signal.wav"
"$build/bench/decode_batch/decode_batch_bench" "$work"/track*.mp3
