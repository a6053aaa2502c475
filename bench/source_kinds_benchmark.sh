#!/usr/bin/env bash
# Source kinds benchmark: the CPU time (user + system) of a Layer III encode by the house
# encoder, per minute of audio, from each source kind, beside the same audio as WAV, and beside
# ffmpeg decoding into lame (ffmpeg -i SRC -ac 2 -f wav - | lame - OUT), the usual way without
# us.
# The encodes run on one thread (SONABOX_ENCODER_THREADS=1), so CPU time is the whole cost.
# The kinds libsndfile reads (WAV, FLAC, Ogg Vorbis) are also timed in containers that FFmpeg
# reads (PCM in MOV, FLAC in MKA, Vorbis in WebM): the same codec by each library, the
# measurement behind which library reads which kind. (Opus moved to FFmpeg on it: Ogg Opus
# cost 0.98 CPU s a minute through libsndfile, 0.84 through FFmpeg.)
#
#   bench/source_kinds_benchmark.sh [build-dir] [repetitions] [seconds]
#
# Each command runs `repetitions` times (default 3) and the fastest counts. Goal: reading adds
# at most 10 % to the WAV encode, and every row is faster than ffmpeg | lame.
set -euo pipefail

build=${1:-build}
reps=${2:-3}
seconds=${3:-60}
codec="$build/sonabox/mp3.dll"
[[ -x $codec ]] || { echo "missing $codec: build first" >&2; exit 1; }
for tool in ffmpeg lame sox; do
    command -v $tool >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is not installed (package time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$codec" "$work/codec"

# Music-like material: a chord, a tremolo tone and a little pink noise.
sox -n -r 44100 -c 2 -b 16 "$work/song.wav" synth "$seconds" sine 220 sine 277 \
    synth "$seconds" sine mix 330 synth "$seconds" pinknoise mix tremolo 0.5 40 vol 0.3
make() { ffmpeg -nostdin -v error -y -i "$work/song.wav" "${@:2}" "$work/$1"; }
make song.flac -c:a flac
make song.ogg -c:a libvorbis -q:a 5
make song.opus -c:a libopus -b:a 128k
make aac.m4a -c:a aac -b:a 192k
make alac.m4a -c:a alac
make song.wma -c:a wmav2 -b:a 192k
make song.wv -c:a wavpack
make song.tta -c:a tta
make pcm.mov -c:a pcm_s16le
make flac.mka -c:a flac
make vorbis.webm -c:a libvorbis -q:a 5
make opus.mkv -c:a libopus -b:a 128k
sox "$work/song.wav" -c 6 "$work/six.wav"
ffmpeg -nostdin -v error -y -i "$work/six.wav" -af aformat=channel_layouts=5.1 -c:a flac \
    "$work/six.flac"

# The fastest of the runs: user + system seconds.
cpu() {
    local best=""
    for _ in $(seq "$reps"); do
        local t
        t=$(/usr/bin/time -f "%U %S" sh -c "$1" 2>&1 >/dev/null | tail -n 1 |
            awk '{ print $1 + $2 }')
        if [[ -z $best ]] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
    done
    echo "$best"
}
ours() { cpu "SONABOX_ENCODER_THREADS=1 '$work/codec' '$work/$1' '$work/out.mp3' -M0 -B64"; }
peer() {
    cpu "ffmpeg -nostdin -v error -i '$work/$1' -ac 2 -f wav - |
         lame --silent --noreplaygain -m s -b 128 --cbr -q 3 - '$work/peer.mp3'"
}

echo "cores: $(nproc); $seconds s of stereo 44.1 kHz audio; CPU s per minute of audio"
wav=$(ours song.wav)
per_minute() { awk "BEGIN { printf \"%.2f\", $1 * 60 / $seconds }"; }
printf "%-12s %-10s %9s %10s %14s %9s\n" source reader ours "vs WAV" "ffmpeg|lame" "ours/peer"
for file in song.wav song.flac song.ogg song.opus pcm.mov flac.mka vorbis.webm opus.mkv \
    aac.m4a alac.m4a song.wma song.wv song.tta six.flac; do
    case $file in
    *.wav | *.flac | *.ogg) reader=libsndfile ;;
    *) reader=FFmpeg ;;
    esac
    t=$([[ $file == song.wav ]] && echo "$wav" || ours "$file")
    p=$(peer "$file")
    printf "%-12s %-10s %9s %9s%% %14s %9s\n" "$file" "$reader" "$(per_minute "$t")" \
        "$(awk "BEGIN { printf \"%+.1f\", ($t / $wav - 1) * 100 }")" "$(per_minute "$p")" \
        "$(awk "BEGIN { printf \"%.2f\", $t / $p }")"
done
