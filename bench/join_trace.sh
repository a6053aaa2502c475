#!/usr/bin/env bash
# Join trace: the house encoder's coding error around the joins of a file coded in chunks on
# several threads, against the same file coded on one thread. A generated 30-second stereo
# 44.1 kHz piece of tones, noise bursts and chirps (deterministic) is coded both ways with short
# chunks, decoded with mpg123 (which honours the gapless delay and padding, so the decodes line
# up with the source), and bench/join_trace.py prints the SNR over 50 ms windows: the file's,
# its worst window, and the windows after each join against the mean and against one thread.
#
#   bench/join_trace.sh [-b build-dir] [-c chunk-frames] [-t threads] [-- encoder options...]
#
# The encoder options default to CBR 128 kbit/s stereo (-M0 -B64); any others of the house
# encoder's command line (a VBR choice, say) go in their place.
set -euo pipefail

build=build
chunk=60
threads=2
while getopts b:c:t: flag; do
    case $flag in
    b) build=$OPTARG ;;
    c) chunk=$OPTARG ;;
    t) threads=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
options=("$@")
((${#options[@]})) || options=(-M0 -B64)

here=$(cd "$(dirname "$0")" && pwd)
codec=$build/sonabox/mp3.dll
[[ -x $codec ]] || { echo "missing $codec: build first" >&2; exit 1; }
for tool in sox mpg123 python3; do
    command -v $tool >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=30
# -R: sox's noise and dither are the same on every run.
sox -R -n -r 44100 -c 2 -b 16 "$work/tones.wav" synth $seconds sine 220 sine 277 \
    synth $seconds sine mix 330 synth $seconds sine mix 1760 tremolo 0.7 60 vol 0.5
sox -R -n -r 44100 -c 2 -b 16 "$work/burst.wav" synth 0.23 pinknoise fade 0.01 0.23 0.05 \
    pad 0.31 0.33 vol 0.6
sox -R -n -r 44100 -c 2 -b 16 "$work/chirp.wav" synth 1.7 sine 150-9000 sine 9000-150 \
    fade 0.02 1.7 0.02 pad 0 0.6 vol 0.4
sox -R "$work/burst.wav" "$work/bursts.wav" repeat $((2 * seconds)) trim 0 $seconds
sox -R "$work/chirp.wav" "$work/chirps.wav" repeat $((seconds / 2)) trim 0 $seconds
sox -R -m "$work/tones.wav" "$work/bursts.wav" "$work/chirps.wav" "$work/source.wav" \
    trim 0 $seconds vol 0.8

encode() { # threads output
    SONABOX_ENCODER_THREADS=$1 SONABOX_ENCODER_CHUNK_FRAMES=$chunk \
        "$codec" "$work/source.wav" "$work/$2.mp3" "${options[@]}" >/dev/null
    mpg123 -q -w "$work/$2.wav" "$work/$2.mp3"
}
encode 1 single
encode "$threads" joined

echo "options: ${options[*]}, chunks of $chunk frames, $threads threads"
python3 "$here/join_trace.py" "$work/source.wav" "$work/single.wav" "$work/joined.wav" \
    "$chunk" 1152
