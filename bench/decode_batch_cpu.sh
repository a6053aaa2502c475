#!/usr/bin/env bash
# CPU that the program's own thread adds while the Decode button decodes a queue: four
# 3-minute stereo 128 kbit/s MP3 files made by lame, decoded by the real main window, with
# the GUI thread's CPU set against the decoding threads' and against mpg123 on the same files.
#   bench/decode_batch_cpu.sh [BUILD_DIR]     (default: build)
# Target: the GUI thread uses no more than 5 % of the CPU that the decoding uses.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target decode_batch_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in 1 2 3 4; do
    ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:amplitude=0.2:duration=180:seed=$i" \
        -ac 2 -c:a pcm_s16le "$work/signal.wav"
    lame --quiet -b 128 "$work/signal.wav" "$work/track$i.mp3"
done
rm "$work/signal.wav"
"$build/bench/decode_batch/decode_batch_bench" "$work"/track*.mp3
