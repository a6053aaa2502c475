#!/usr/bin/env bash
# Decoding speed of libmpegdll against mpg123: a 6-minute stereo 128 kbit/s MP3 (made by lame
# from a generated signal) is decoded to a WAV file through the library (PCM file output) and
# with `mpg123 -w`, alternately, several times; the best time of each is compared.
#   bench/decode_benchmark.sh [BUILD_DIR]     (default: build-bench, configured if missing)
# Target: ours/mpg123 <= 1.05.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${RUNS:-5}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DSONABOX_WITH_GUI=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target mpegdll_decode_bench >/dev/null
driver="$build/libs/mpegdll/bench/mpegdll_decode_bench"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Music-like material: pink noise under two gliding tones, different on each side.
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:amplitude=0.2:duration=360" \
    -f lavfi -i "aevalsrc=0.3*sin(2*PI*(220+50*sin(t/3))*t)|0.3*sin(2*PI*(330+80*sin(t/5))*t):s=44100:d=360" \
    -filter_complex "[0:a]pan=stereo|c0=c0|c1=c0[n];[n][1:a]amix=inputs=2:normalize=0" \
    -c:a pcm_s16le "$work/signal.wav"
lame --quiet -b 128 "$work/signal.wav" "$work/input.mp3"
rm "$work/signal.wav"

# Wall-clock seconds of one command, process start included for both sides.
seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }'
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

best_ours=""
best_mpg123=""
for ((i = 0; i < runs; i++)); do
    best_ours=$(smaller "$best_ours" "$(seconds "$driver" "$work/input.mp3" "$work/ours.wav")")
    best_mpg123=$(smaller "$best_mpg123" "$(seconds mpg123 -q -w "$work/mpg123.wav" "$work/input.mp3")")
done

if ! cmp -s "$work/ours.wav" "$work/mpg123.wav"; then
    echo "warning: the two WAV files differ" >&2
fi
printf 'input: 6 min stereo 128 kbit/s MP3 (%s bytes), best of %d runs\n' \
    "$(stat -c %s "$work/input.mp3")" "$runs"
printf 'libmpegdll: %.3f s\n' "$best_ours"
printf 'mpg123 -w:  %.3f s\n' "$best_mpg123"
awk -v a="$best_ours" -v b="$best_mpg123" 'BEGIN { printf "ours/mpg123: %.3f (target 1.05 or less)\n", a / b }'
