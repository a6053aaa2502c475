#!/usr/bin/env bash
# Encode batch benchmark: an album (12 WAV files of 60 s) and a sample pack (60 WAV files of
# 3 s), each encoded by `sonabox encode` (the batch driver the window uses, without a window)
# with the house encoder at 128 kbit/s stereo, beside lame at the same settings on all cores at
# once (xargs -P $(nproc)), and beside the house encoder itself run the same way, each file
# whole on one thread. Prints the times, the ratio sonabox/lame against its target, and the
# per-file overhead: what the batch adds (starting each program, waiting in queue order,
# checking each MP3, writing each folder's album gain) over the encoder programs run bare. Our
# programs also measure each file's loudness for its ReplayGain, which lame --noreplaygain does
# not: "no loudness" runs the same batch with SONABOX_ENCODER_LOUDNESS=0 (and so without album
# gain) to show what that costs.
#
#   bench/batch_benchmark.sh [build-dir] [repetitions]
#
# Each command runs `repetitions` times (default 3), interleaved, and the fastest run counts.
# Timings on a machine shared with other work vary.
set -euo pipefail

build=${1:-build}
reps=${2:-3}
programs=$(cd "$build/sonabox" && pwd)
for program in "$programs/mp3.dll" "$programs/sonabox-cli"; do
    [[ -x $program ]] || { echo "missing $program: build first" >&2; exit 1; }
done
for tool in lame sox xargs; do
    command -v $tool >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cores=$(nproc)
# A settings folder of its own, so that the user's choices do not count.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME" "$work/album" "$work/pack"
cp "$programs/mp3.dll" "$work/codec"
: >"$work/slots"

# Music-like material, each file a little different: a chord with a slow tremolo and some
# pink noise.
make_wavs() { # folder count seconds
    for i in $(seq -w 1 "$2"); do
        sox -n -r 44100 -c 2 -b 16 "$1/track$i.wav" synth "$3" sine $((200 + 10#$i * 7)) \
            sine 277 synth "$3" sine mix 330 synth "$3" pinknoise mix tremolo 0.5 40 vol 0.3
    done
}
make_wavs "$work/album" 12 60
make_wavs "$work/pack" 60 3
# On the disk before the first run: the syncs our programs make must not wait for the writeback
# of the test material, which lame, syncing nothing, never meets.
sync

seconds() { # command...; prints the wall time in seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

run_lame() { # folder
    rm -rf "$work/out" && mkdir "$work/out"
    (cd "$1" && ls *.wav | xargs -P "$cores" -I{} lame --quiet --noreplaygain -m s -b 128 --cbr \
        -q 3 {} "$work/out/{}.mp3")
}
run_bare() { # folder
    rm -rf "$work/out" && mkdir "$work/out"
    (cd "$1" && ls *.wav | SONABOX_ENCODER_THREADS=1 xargs -P "$cores" -I{} \
        "$work/codec" {} "$work/out/{}.mp3" -M0 -B64)
}
run_quiet() { # folder
    SONABOX_ENCODER_LOUDNESS=0 run_sonabox "$1"
}
run_sonabox() { # folder
    rm -rf "$work/out" && mkdir "$work/out"
    "$programs/sonabox-cli" encode --encoder korvo --mode stereo --bitrate 128 --layer 3 \
        --keep-source --output "$work/out" "$1"
}

echo "cores: $cores"
for set in album pack; do
    declare -A best=()
    for rep in $(seq "$reps"); do
        for what in lame bare sonabox quiet; do
            t=$(seconds "run_$what" "$work/$set")
            if [[ -z ${best[$what]:-} ]] || (($(echo "$t < ${best[$what]}" | bc -l))); then
                best[$what]=$t
            fi
        done
    done
    files=$(ls "$work/$set"/*.wav | wc -l)
    [[ $set == album ]] && target=1.05 || target=1.15
    ratio=$(echo "${best[sonabox]} / ${best[lame]}" | bc -l)
    overhead=$(echo "(${best[sonabox]} - ${best[bare]}) * 1000 / $files" | bc -l)
    printf '%s (%d files of %s s): sonabox encode %.2f s, lame -P%d %.2f s, house encoder bare -P%d (one thread each) %.2f s\n' \
        "$set" "$files" "$(soxi -D "$work/$set/$(ls "$work/$set" | head -1)" | cut -d. -f1)" \
        "${best[sonabox]}" "$cores" "${best[lame]}" "$cores" "${best[bare]}"
    printf '  ratio sonabox/lame %.3f (target <= %s)  per-file overhead %.1f ms (target <= 30)\n' \
        "$ratio" "$target" "$overhead"
    printf '  no loudness: sonabox encode %.2f s, ratio sonabox/lame %.3f\n' "${best[quiet]}" \
        "$(echo "${best[quiet]} / ${best[lame]}" | bc -l)"
done
