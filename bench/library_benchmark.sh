#!/usr/bin/env bash
# Library benchmark: `sonabox sync SRC DEST` over a generated library of 20,000 one-second WAV
# sources in 400 album folders (Artist NNN/Album NN/, tags in each file's INFO chunk), with the
# house encoder at 128 kbit/s stereo. Prints, side by side in one run:
#   - the first sync beside lame on every core at once (xargs -P $(nproc)) over the same files,
#     and beside the house encoder run bare the same way (one thread each): the ratio
#     sync/lame (goal <= 1.15) and what sync adds per file over the bare programs (goal <= 30 ms);
#   - a second sync with nothing changed (goal <= 2 s), and how many sources it opened, counted
#     in a third identical sync under strace (openat/open of files below SRC; goal 0);
#   - 10 sources given new audio: how many MP3s sync converted (should be 10) and how many had
#     their tags only rewritten (their albums' other tracks get the new album gain), told
#     apart by hashing each MP3's audio frames before and after; any other change is counted,
#     and the sources it opened (under strace too; a source coded again needlessly gives the
#     same audio frames, but it is opened);
#   - the peak memory of each run (/usr/bin/time -v "Maximum resident set size": the largest of
#     the sync process and of each of its children, as time reports it; goal <= 150 MB).
#
#   bench/library_benchmark.sh [scale] [build-dir]
#
# `scale` sizes the library: 1 (default) is 20,000 files in 400 folders, 0.05 is 1,000 files
# in 20 folders. SONABOX_CLI names another sonabox-cli (an installed one, say). The library is
# made in a temporary folder (about 3.5 GB at scale 1) and removed at the end. Timings on a
# machine shared with other work vary.
set -euo pipefail

scale=${1:-1}
build=${2:-build}
here=$(cd "$(dirname "$0")" && pwd)
programs=$(cd "$build/sonabox" && pwd)
cli=${SONABOX_CLI:-$programs/sonabox-cli}
for program in "$programs/mp3.dll" "$cli"; do
    [[ -x $program ]] || { echo "missing $program: build first" >&2; exit 1; }
done
for tool in lame sox python3 xargs strace /usr/bin/time bc; do
    command -v $tool >/dev/null ||
        { echo "$tool is not installed (scripts/install-test-deps.sh installs it)" >&2; exit 1; }
done
# The command this benchmark is about: refuse clearly before an hour of work where it is missing.
sync_help=$("$cli" sync --help 2>&1 || true)
if [[ $sync_help == *"unknown command"* ]]; then
    echo "$cli has no sync command: build a Sonabox that has 'sonabox sync SOURCE DEST'" >&2
    exit 1
fi

files=$(python3 -c "print(max(1, round(20000 * $scale)))")
folders=$(python3 -c "print(max(1, min($files, round(400 * $scale))))")
cores=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A settings folder and a home (and so a Trash) of its own: the user's choices do not count.
export XDG_CONFIG_HOME="$work/config" HOME="$work/home"
mkdir -p "$XDG_CONFIG_HOME" "$HOME" "$work/tones"
src="$work/library" dest="$work/mirror"
tool="$here/library_tool.py"
options=(--encoder korvo --mode stereo --bitrate 128 --layer 3)
export src dest work cores programs

echo "making $files sources in $folders folders..."
for f in $(seq 0 $((folders - 1))); do
    sox -n -r 44100 -c 2 -b 16 "$work/tones/$f.wav" synth 1 sine $((220 + f * 3)) \
        sine 330 synth 1 sine mix 440 vol 0.3
done
python3 "$tool" make "$src" "$files" "$folders" "$work"/tones/*.wav
rm -rf "$work/tones"
(cd "$src" && find . -name '*.wav' | sed 's|^\./||' | sort) >"$work/list"
# On the disk before the first run: the syncs our programs make must not wait for the writeback
# of the test material, which lame, syncing nothing, never meets.
sync

seconds() { # report command...; the wall time in seconds; /usr/bin/time -v's report in report
    local report=$1 start end
    shift
    start=$(date +%s.%N)
    /usr/bin/time -v -o "$report" "$@" >"$report.out" 2>&1 ||
        { echo "failed: $*" >&2; tail -5 "$report.out" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
peak() { # report; the peak memory in MB
    awk -F': ' '/Maximum resident set size/ { printf "%.0f", $2 / 1024 }' "$1"
}
mirror_folders() { # top; makes the library's folders below it
    rm -rf "$1" && mkdir -p "$1"
    (cd "$src" && find . -mindepth 1 -type d -print0) | (cd "$1" && xargs -0 mkdir -p)
}
run_lame() {
    mirror_folders "$work/lame"
    xargs -a "$work/list" -d '\n' -P "$cores" -I{} lame --quiet --noreplaygain -m s -b 128 \
        --cbr -q 3 "$src/{}" "$work/lame/{}.mp3"
}
run_bare() {
    mirror_folders "$work/bare"
    cp "$programs/mp3.dll" "$work/codec"
    SONABOX_ENCODER_THREADS=1 xargs -a "$work/list" -d '\n' -P "$cores" -I{} "$work/codec" \
        "$src/{}" "$work/bare/{}.mp3" -M0 -B64
}
export -f mirror_folders run_lame run_bare
sync_command=("$cli" sync "${options[@]}" "$src" "$dest")

echo "cores: $cores"
t_lame=$(seconds "$work/time.lame" bash -c run_lame)
rm -rf "$work/lame"
t_bare=$(seconds "$work/time.bare" bash -c run_bare)
rm -rf "$work/bare"
t_first=$(seconds "$work/time.first" "${sync_command[@]}")
mp3s=$(find "$dest" -name '*.mp3' | wc -l)
printf 'first sync (%d files, %d MP3s made): %.2f s, lame -P%d %.2f s, house encoder bare -P%d %.2f s\n' \
    "$files" "$mp3s" "$t_first" "$cores" "$t_lame" "$cores" "$t_bare"
printf '  ratio sync/lame %.3f (goal <= 1.15)  per-file overhead %.1f ms (goal <= 30)  peak %s MB\n' \
    "$(echo "$t_first / $t_lame" | bc -l)" "$(echo "($t_first - $t_bare) * 1000 / $files" | bc -l)" \
    "$(peak "$work/time.first")"

t_second=$(seconds "$work/time.second" "${sync_command[@]}")
opened() { # strace log; the sources it opened: "N (M opens)"
    grep -F "\"$src/" "$1" | grep -v -e O_DIRECTORY -e ENOENT | grep -o "\"$src/[^\"]*\"" |
        sort | uniq -c | awk '{ opens += $1; files++ } END { printf "%d (%d opens)", files, opens }'
}
# Only the traced calls stop the program (seccomp-bpf): the trace costs little time.
traced=(strace -f --seccomp-bpf -e "trace=openat,open" -o)
"${traced[@]}" "$work/strace.unchanged" "${sync_command[@]}" >/dev/null 2>&1 || true
printf 'second sync, nothing changed: %.2f s (goal <= 2), sources opened %s (goal 0), peak %s MB\n' \
    "$t_second" "$(opened "$work/strace.unchanged")" "$(peak "$work/time.second")"

sox -n -r 44100 -c 2 -b 16 "$work/loud.wav" synth 1 sine 600 vol 0.9
python3 "$tool" change "$src" 10 "$work/loud.wav" >"$work/changed"
changed_folders=()
while IFS= read -r path; do
    changed_folders+=("$(dirname "$dest/${path#"$src/"}")")
done <"$work/changed"
python3 "$tool" snapshot "$dest" "${changed_folders[@]}" >"$work/before.json"
t_third=$(seconds "$work/time.third" "${traced[@]}" "$work/strace.changed" "${sync_command[@]}")
python3 "$tool" snapshot "$dest" "${changed_folders[@]}" >"$work/after.json"
read -r converted tagged other < <(python3 "$tool" compare "$work/before.json" "$work/after.json")
albums=$(printf '%s\n' "${changed_folders[@]}" | sort -u | wc -l)
printf '10 changed sources in %d albums: %.2f s, converted %d (goal 10), tags only %d, other changes %d (goal 0)\n' \
    "$albums" "$t_third" "$converted" "$tagged" "$other"
printf '  sources opened %s (goal 10), peak %s MB\n' "$(opened "$work/strace.changed")" \
    "$(peak "$work/time.third")"
echo "  its summary: $(tail -1 "$work/time.third.out")"
printf 'peak memory (goal <= 150 MB): first %s MB, unchanged %s MB, 10 changed %s MB; lame -P%d %s MB\n' \
    "$(peak "$work/time.first")" "$(peak "$work/time.second")" "$(peak "$work/time.third")" \
    "$cores" "$(peak "$work/time.lame")"
