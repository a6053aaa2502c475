#!/usr/bin/env bash
# Decoding speed and peak memory of libmpegdll against `mpg123 -w`, for a 6-minute and a
# 60-minute stereo 128 kbit/s MP3 (made by lame without Info frame from a generated signal;
# the long one is ten copies of the short one back to back). Each input is decoded to a WAV file
# through the library (PCM file output, all cores and forced to one thread) and with mpg123,
# alternately; the best wall-clock time, the least CPU time (user + system, all threads) and
# the largest max RSS (/usr/bin/time) are shown.
#   bench/decode_benchmark.sh [BUILD_DIR]     (default: build-bench, configured if missing)
# Targets on 2 cores: ours/mpg123 <= 0.50 in wall-clock time; the 60-minute peak RSS within
# 10 % of the 6-minute one. Other processes on the machine skew the wall-clock times: compare
# runs on a quiet one. The CPU ratio (all threads against mpg123's one) is what a busy machine
# still tells: near 1 means the split into chunks costs little beside the decode itself.
set -euo pipefail
export LC_ALL=C # a decimal point in EPOCHREALTIME and awk

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${RUNS:-3}
long_runs=${LONG_RUNS:-2}

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
lame --quiet -t -b 128 "$work/signal.wav" "$work/6min.mp3"
rm "$work/signal.wav"
for ((i = 0; i < 10; i++)); do cat "$work/6min.mp3"; done >"$work/60min.mp3"

# "wall_seconds max_rss_kib cpu_seconds" of one command. The wall-clock time is bash's own, to
# the microsecond: time's %e has only hundredths, a twentieth of a 0.2 s decode.
measure() {
    local start=$EPOCHREALTIME end
    /usr/bin/time -f '%M %U %S' -o "$work/time.txt" "$@" >/dev/null 2>&1
    end=$EPOCHREALTIME
    awk -v start="$start" -v end="$end" '{ printf "%.4f %s %.2f\n", end - start, $1, $2 + $3 }' \
        "$work/time.txt"
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
larger() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b > a) ? b : a }'; }

printf 'cores: %s (load average %s)\n' "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
declare -A rss
for name in 6min 60min; do
    input="$work/$name.mp3"
    n=$runs
    [ "$name" = 60min ] && n=$long_runs
    ours="" one="" theirs="" cpu_ours="" cpu_one="" cpu_theirs="" rss_ours="" rss_theirs=""
    for ((i = 0; i < n; i++)); do
        read -r t m u < <(measure "$driver" "$input" "$work/ours.wav")
        ours=$(smaller "$ours" "$t") cpu_ours=$(smaller "$cpu_ours" "$u")
        rss_ours=$(larger "$rss_ours" "$m")
        read -r t m u < <(SONABOX_DECODER_THREADS=1 measure "$driver" "$input" "$work/one.wav")
        one=$(smaller "$one" "$t") cpu_one=$(smaller "$cpu_one" "$u")
        read -r t m u < <(measure mpg123 -q -w "$work/mpg123.wav" "$input")
        theirs=$(smaller "$theirs" "$t") cpu_theirs=$(smaller "$cpu_theirs" "$u")
        rss_theirs=$(larger "$rss_theirs" "$m")
    done
    cmp -s "$work/ours.wav" "$work/mpg123.wav" || echo "warning: $name: ours and mpg123 -w differ" >&2
    cmp -s "$work/ours.wav" "$work/one.wav" || echo "warning: $name: all cores and one thread differ" >&2
    rss[$name]=$rss_ours
    printf '%s (%s bytes), best of %d, wall (cpu) seconds: libmpegdll %s (%s), one thread %s (%s), mpg123 -w %s (%s)\n' \
        "$name" "$(stat -c %s "$input")" "$n" "$ours" "$cpu_ours" "$one" "$cpu_one" "$theirs" "$cpu_theirs"
    awk -v a="$ours" -v b="$theirs" -v o="$one" -v n="$name" \
        'BEGIN { printf "%s ours/mpg123: %.3f (one thread %.3f; target 0.50 or less on 2 cores)\n", n, a / b, o / b }'
    awk -v a="$cpu_ours" -v b="$cpu_theirs" -v o="$cpu_one" -v n="$name" \
        'BEGIN { printf "%s CPU ours/mpg123: %.3f (one thread %.3f)\n", n, a / b, o / b }'
    printf '%s max RSS: libmpegdll %d KiB, mpg123 -w %d KiB\n' "$name" "$rss_ours" "$rss_theirs"
    rm -f "$work"/*.wav
done
awk -v s="${rss[6min]}" -v l="${rss[60min]}" \
    'BEGIN { printf "max RSS 60min/6min: %.3f (target 1.10 or less)\n", l / s }'
# The wall-clock figures hold only if the machine stayed quiet throughout.
printf 'load average at the end: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
