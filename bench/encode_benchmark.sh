#!/usr/bin/env bash
# Encoder benchmark: times our three encoder programs on a generated 6-minute stereo 44.1 kHz
# WAV file against the lame command line at the same settings, and the house encoder's
# Layer III on a 60-minute file too; prints the core count, the ratio ours/lame and each run's
# peak memory (maximum resident set size).
#
#   bench/encode_benchmark.sh [build-dir] [repetitions]
#   SONABOX_BENCH_ONLY=vbr bench/encode_benchmark.sh ...   the VBR and ABR rows alone
#
# Settings compared (CBR 128 kbit/s, plain stereo):
#   house encoder  codec in.wav out -M0 -B64     vs  lame --noreplaygain -m s -b 128 --cbr -q 3
#   bladeenc       bladeenc in.wav -128 -QUIT    vs  lame --noreplaygain -m s -b 128 --cbr -q 3
#   plugger        plugger in.wav out -b 128 -z  vs  lame --noreplaygain -m s -b 128 --cbr -q 0
# (-q 3 is LAME's standard quality, which our Layer III programs use; plugger's -z selects
# LAME's best, -q 0. lame runs with --noreplaygain: its own loudness analysis is the older
# ReplayGain 1 one. Our programs measure ReplayGain 2.0 loudness (BS.1770) in every run
# compared with lame; the rows "loudness measured vs not" give its cost, against runs with
# SONABOX_ENCODER_LOUDNESS=0, and "from FLAC vs from WAV" the cost of reading FLAC input.)
# The house encoder's Layers I and II have no lame counterpart; their ratio is given against
# the same lame -q 3 run, for scale. Our programs code a file in chunks on every core;
# "one thread" runs set SONABOX_ENCODER_THREADS=1, the coding of one file on one core.
# Each 6-minute command runs `repetitions` times (default 3), interleaved, and the fastest run
# counts; the 60-minute commands run once. Timings on a machine shared with other work vary.
#
# VBR and ABR (joint stereo, as lame's default for them):
#   house encoder  codec in.wav out -M1 -B95 -RV2    vs  lame --noreplaygain -m j -V2 -q 3
#   house encoder  codec in.wav out -M1 -B96 -RA192  vs  lame --noreplaygain -m j --abr 192 -q 3
# and an album (12 files of 60 s) and a sample pack (60 files of 3 s) through `sonabox encode
# --vbr 2` beside lame -V2 on every core at once (xargs -P $(nproc)); targets on 2 cores: the
# 6-minute file 0.55 or less, the album 1.05, the pack 1.15.
set -euo pipefail

build=${1:-build}
reps=${2:-3}
programs="$build/sonabox"
for program in "$programs/mp3.dll" "$programs/bladeenc/bladeenc" "$programs/encoder/plugger" \
    "$programs/sonabox-cli"; do
    [[ -x $program ]] || { echo "missing $program: build first" >&2; exit 1; }
done
for tool in lame sox flac; do
    command -v $tool >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is not installed (package time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$programs/mp3.dll" "$work/codec"

# Music-like material: a chord, a tone with a slow tremolo and a little pink noise, so the
# psychoacoustic models have something to work on. The hour is ten copies of it.
sox -n -r 44100 -c 2 -b 16 "$work/song.wav" synth 360 sine 220 sine 277 synth 360 sine mix 330 \
    synth 360 pinknoise mix tremolo 0.5 40 vol 0.3
only=${SONABOX_BENCH_ONLY:-}
if [[ $only != vbr ]]; then
    sox $(for i in $(seq 10); do echo "$work/song.wav"; done) "$work/hour.wav"
    flac -s "$work/song.wav" -o "$work/song.flac"
fi
echo "cores: $(nproc)"
for f in song $([[ $only == vbr ]] || echo hour); do
    echo "input $f: $(soxi -d "$work/$f.wav"), $(soxi -r "$work/$f.wav") Hz, $(soxi -c "$work/$f.wav") channels"
done

declare -A cmd=(
    [house_l3]="\"$work/codec\" \"$work/song.wav\" \"$work/house3.mp3\" -M0 -B64"
    [house_l3_one]="SONABOX_ENCODER_THREADS=1 \"$work/codec\" \"$work/song.wav\" \"$work/house3.mp3\" -M0 -B64"
    [house_l3_quiet]="SONABOX_ENCODER_LOUDNESS=0 \"$work/codec\" \"$work/song.wav\" \"$work/house3.mp3\" -M0 -B64"
    [house_l3_one_quiet]="SONABOX_ENCODER_THREADS=1 SONABOX_ENCODER_LOUDNESS=0 \"$work/codec\" \"$work/song.wav\" \"$work/house3.mp3\" -M0 -B64"
    [house_l3_flac]="\"$work/codec\" \"$work/song.flac\" \"$work/house3.mp3\" -M0 -B64"
    [house_l3_one_flac]="SONABOX_ENCODER_THREADS=1 \"$work/codec\" \"$work/song.flac\" \"$work/house3.mp3\" -M0 -B64"
    [house_l2]="\"$work/codec\" \"$work/song.wav\" \"$work/house2.mp3\" -M0 -B64 -L2"
    [house_l1]="\"$work/codec\" \"$work/song.wav\" \"$work/house1.mp3\" -M0 -B64 -L1"
    [bladeenc]="\"$programs/bladeenc/bladeenc\" \"$work/song.wav\"  -128 -QUIT  -PRIO=HIGHEST  -PRIO=HIGHEST"
    [plugger]="\"$programs/encoder/plugger\" \"$work/song.wav\" \"$work/plugger.mp3\" -b 128 -z"
    [lame_q3]="lame --quiet --noreplaygain -m s -b 128 --cbr -q 3 \"$work/song.wav\" \"$work/lame3.mp3\""
    [lame_q0]="lame --quiet --noreplaygain -m s -b 128 --cbr -q 0 \"$work/song.wav\" \"$work/lame0.mp3\""
    [hour_house_l3]="\"$work/codec\" \"$work/hour.wav\" \"$work/hour3.mp3\" -M0 -B64"
    [hour_lame_q3]="lame --quiet --noreplaygain -m s -b 128 --cbr -q 3 \"$work/hour.wav\" \"$work/hourlame.mp3\""
    [house_v2]="\"$work/codec\" \"$work/song.wav\" \"$work/housev2.mp3\" -M1 -B95 -RV2"
    [house_v2_one]="SONABOX_ENCODER_THREADS=1 \"$work/codec\" \"$work/song.wav\" \"$work/housev2.mp3\" -M1 -B95 -RV2"
    [house_abr192]="\"$work/codec\" \"$work/song.wav\" \"$work/houseabr.mp3\" -M1 -B96 -RA192"
    [lame_v2]="lame --quiet --noreplaygain -m j -V2 -q 3 \"$work/song.wav\" \"$work/lamev2.mp3\""
    [lame_abr192]="lame --quiet --noreplaygain -m j --abr 192 -q 3 \"$work/song.wav\" \"$work/lameabr.mp3\""
)
declare -A best cpu rss
measure() { # name: runs the command once, keeps the fastest time and the largest peak memory
    local name=$1
    # BladeEnc never replaces a file: the last run's MP3 goes first.
    rm -f "$work/song.MP3"
    eval "/usr/bin/time -o \"$work/time\" -f '%e %M %U %S' env ${cmd[$name]}" >/dev/null
    read -r seconds kbytes user system <"$work/time"
    if [[ -z ${best[$name]:-} ]] || awk -v a="$seconds" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
        best[$name]=$seconds
        cpu[$name]=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    fi
    if [[ -z ${rss[$name]:-} ]] || ((kbytes > rss[$name])); then
        rss[$name]=$kbytes
    fi
}
names=(house_l3 house_l3_one house_l3_quiet house_l3_one_quiet house_l3_flac house_l3_one_flac
    bladeenc plugger house_l2 house_l1 lame_q3 lame_q0)
vbr_names=(house_v2 house_v2_one house_abr192 lame_v2 lame_abr192)
[[ $only == vbr ]] && names=()
for ((rep = 1; rep <= reps; rep++)); do
    for name in "${names[@]}" "${vbr_names[@]}"; do
        measure "$name"
    done
done

row() { # label ours reference
    awk -v label="$1" -v ours="${best[$2]}" -v ref="${best[$3]}" -v kb="${rss[$2]}" \
        -v c="${cpu[$2]}" -v rc="${cpu[$3]}" \
        'BEGIN { printf "%-48s %7.2f %7.2f %6.3f %7.2f %7.2f %8.1f\n", label, ours, ref, ours / ref, c, rc, kb / 1024 }'
}
vbr_rows() {
    printf '\n%-48s %7s %7s %6s %7s %7s %8s\n' "encoder (VBR and ABR, joint stereo)" "ours s" \
        "ref s" "ratio" "cpu s" "ref" "peak MiB"
    row "6 min: house V2                  vs lame -V2" house_v2 lame_v2
    row "6 min: house V2, one thread      vs lame -V2" house_v2_one lame_v2
    row "6 min: house ABR 192        vs lame --abr 192" house_abr192 lame_abr192
    awk -v a="$(stat -c %s "$work/housev2.mp3")" -v b="$(stat -c %s "$work/lamev2.mp3")" \
        -v c="$(stat -c %s "$work/houseabr.mp3")" -v d="$(stat -c %s "$work/lameabr.mp3")" \
        'BEGIN { printf "file size ours/lame: V2 %.3f, ABR 192 %.3f\n", a / b, c / d }'
    # The batches: every file whole or in chunks as the batch driver shares the cores out.
    local cores set files
    cores=$(nproc)
    export XDG_CONFIG_HOME="$work/config"
    for set in album:12:60 pack:60:3; do
        IFS=: read -r name files length <<<"$set"
        mkdir -p "$work/$name" "$XDG_CONFIG_HOME"
        for i in $(seq -w 1 "$files"); do
            sox -n -r 44100 -c 2 -b 16 "$work/$name/track$i.wav" synth "$length" \
                sine $((200 + 10#$i * 7)) sine 277 synth "$length" sine mix 330 \
                synth "$length" pinknoise mix tremolo 0.5 40 vol 0.3
        done
        sync
        cmd[batch_$name]="\"$programs/sonabox-cli\" encode --encoder korvo --mode joint --vbr 2 --keep-source --output \"$work/out_$name\" \"$work/$name\" 2>/dev/null"
        cmd[batch_lame_$name]="sh -c 'cd \"$work/$name\" && ls *.wav | xargs -P $cores -I{} lame --quiet --noreplaygain -m j -V2 -q 3 {} \"$work/out_$name/{}.mp3\"'"
    done
    for ((rep = 1; rep <= reps; rep++)); do
        for name in album pack; do
            for what in batch_ batch_lame_; do
                rm -rf "$work/out_$name" && mkdir "$work/out_$name"
                measure "$what$name"
            done
        done
    done
    row "album 12 x 60 s: sonabox --vbr 2 vs lame -V2 -P$cores" batch_album batch_lame_album
    row "pack 60 x 3 s: sonabox --vbr 2  vs lame -V2 -P$cores" batch_pack batch_lame_pack
    echo "(targets on 2 cores: 6 min V2 and ABR 0.55 or less; album 1.05, pack 1.15 or less)"
}
if [[ $only == vbr ]]; then
    vbr_rows
    exit 0
fi
measure hour_house_l3
measure hour_lame_q3

# "cpu s" is the processor time (user and system) of ours and lame's runs: on a machine busy
# with other work the wall-clock ratio says little, the processor time still shows the cost
# of coding in chunks.
printf '\n%-48s %7s %7s %6s %7s %7s %8s\n' "encoder (128 kbit/s CBR stereo)" "ours s" "ref s" \
    "ratio" "cpu s" "ref" "peak MiB"
row "6 min: house encoder, Layer III  vs lame -q 3" house_l3 lame_q3
row "6 min: house Layer III, one thread vs lame -q 3" house_l3_one lame_q3
row "6 min: bladeenc                  vs lame -q 3" bladeenc lame_q3
row "6 min: plugger -z                vs lame -q 0" plugger lame_q0
row "6 min: house Layer II   (lame -q 3 scale)" house_l2 lame_q3
row "6 min: house Layer I    (lame -q 3 scale)" house_l1 lame_q3
row "60 min: house encoder, Layer III vs lame -q 3" hour_house_l3 hour_lame_q3
row "6 min: house L3, loudness measured vs not" house_l3 house_l3_quiet
row "6 min: house L3 one thread, loudness vs not" house_l3_one house_l3_one_quiet
row "6 min: house L3 from FLAC vs from WAV" house_l3_flac house_l3
row "6 min: house L3 one thread, FLAC vs WAV" house_l3_one_flac house_l3_one
awk -v a="${rss[hour_house_l3]}" -v b="${rss[house_l3]}" \
    'BEGIN { printf "house Layer III peak memory, 60 min / 6 min: %.3f\n", a / b }'
echo "(6 min: fastest of $reps runs each; targets for Layer III on 2 cores: ratio 0.60 or less,"
echo " 60-minute peak memory within 10% of the 6-minute one; measuring loudness 1.05 or less)"
vbr_rows
