#!/usr/bin/env bash
# Encoder benchmark: times our three encoder programs on a generated 6-minute stereo
# 44.1 kHz WAV file against the lame command line at the same settings, in one run, and
# prints the ratio ours/lame for each.
#
#   bench/encode_benchmark.sh [build-dir] [repetitions]
#
# Settings compared (CBR 128 kbit/s, plain stereo):
#   house encoder  codec in.wav out -M0 -B64     vs  lame --noreplaygain -m s -b 128 --cbr -q 3
#   bladeenc       bladeenc in.wav -128 -QUIT    vs  lame --noreplaygain -m s -b 128 --cbr -q 3
#   plugger        plugger in.wav out -b 128 -z  vs  lame --noreplaygain -m s -b 128 --cbr -q 0
# (-q 3 is LAME's standard quality, which our Layer III programs use; plugger's -z selects
# LAME's best, -q 0. lame runs with --noreplaygain: by default it also analyses the loudness
# for ReplayGain, work our programs do not do, which would flatter the ratio by about 10%.)
# The house encoder's Layers I and II have no lame counterpart; their ratio is given against
# the same lame -q 3 run, for scale.
# Each command runs `repetitions` times (default 3), interleaved, and the fastest run counts.
set -euo pipefail

build=${1:-build}
reps=${2:-3}
programs="$build/sonabox"
for program in "$programs/mp3.dll" "$programs/bladeenc/bladeenc" "$programs/encoder/plugger"; do
    [[ -x $program ]] || { echo "missing $program: build first" >&2; exit 1; }
done
command -v lame >/dev/null || { echo "lame is not installed" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$programs/mp3.dll" "$work/codec"

# Music-like material: a chord that moves every few seconds, a slow stereo tremolo and a
# little pink noise, so the psychoacoustic models have something to work on.
ffmpeg -v error -f lavfi -i "aevalsrc=exprs='0.2*sin(2*PI*(220+110*floor(mod(t,12)/3))*t)+0.1*sin(2*PI*330*t)*(0.6+0.4*sin(0.5*t))+0.05*sin(2*PI*1760*t)|0.2*sin(2*PI*(277+55*floor(mod(t,8)/2))*t)+0.1*sin(2*PI*440*t)*(0.6+0.4*cos(0.5*t))+0.05*sin(2*PI*2637*t)':s=44100:d=360" \
    -f lavfi -i "anoisesrc=color=pink:amplitude=0.05:sample_rate=44100:duration=360" \
    -filter_complex "[1]aformat=channel_layouts=mono,asplit[n1][n2];[n1][n2]amerge[n];[0][n]amix=inputs=2:normalize=0" \
    -c:a pcm_s16le -ac 2 -ar 44100 "$work/song.wav"
echo "input: $(ffprobe -v error -show_entries stream=duration,channels,sample_rate -of csv=p=0 "$work/song.wav") (duration, rate, channels)"

names=(house_l3 bladeenc plugger house_l2 house_l1 lame_q3 lame_q0)
declare -A cmd=(
    [house_l3]="\"$work/codec\" \"$work/song.wav\" \"$work/house3.mp3\" -M0 -B64"
    [house_l2]="\"$work/codec\" \"$work/song.wav\" \"$work/house2.mp3\" -M0 -B64 -L2"
    [house_l1]="\"$work/codec\" \"$work/song.wav\" \"$work/house1.mp3\" -M0 -B64 -L1"
    [bladeenc]="\"$programs/bladeenc/bladeenc\" \"$work/song.wav\"  -128 -QUIT  -PRIO=HIGHEST  -PRIO=HIGHEST"
    [plugger]="\"$programs/encoder/plugger\" \"$work/song.wav\" \"$work/plugger.mp3\" -b 128 -z"
    [lame_q3]="lame --quiet --noreplaygain -m s -b 128 --cbr -q 3 \"$work/song.wav\" \"$work/lame3.mp3\""
    [lame_q0]="lame --quiet --noreplaygain -m s -b 128 --cbr -q 0 \"$work/song.wav\" \"$work/lame0.mp3\""
)
declare -A best
for ((rep = 1; rep <= reps; rep++)); do
    for name in "${names[@]}"; do
        start=$(date +%s.%N)
        eval "${cmd[$name]}" >/dev/null
        seconds=$(awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { printf "%.3f", a - b }')
        if [[ -z ${best[$name]:-} ]] || awk -v a="$seconds" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
            best[$name]=$seconds
        fi
    done
done

printf '\n%-44s %9s %9s %7s\n' "encoder (128 kbit/s CBR stereo)" "ours s" "lame s" "ratio"
row() { # label ours reference
    awk -v label="$1" -v ours="${best[$2]}" -v ref="${best[$3]}" \
        'BEGIN { printf "%-44s %9.2f %9.2f %7.3f\n", label, ours, ref, ours / ref }'
}
row "house encoder, Layer III  vs lame -q 3" house_l3 lame_q3
row "bladeenc                  vs lame -q 3" bladeenc lame_q3
row "plugger -z                vs lame -q 0" plugger lame_q0
row "house encoder, Layer II   (lame -q 3 scale)" house_l2 lame_q3
row "house encoder, Layer I    (lame -q 3 scale)" house_l1 lame_q3
echo "(fastest of $reps runs each; target for Layer III: ratio 1.05 or less)"
