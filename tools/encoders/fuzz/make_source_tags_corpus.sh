#!/bin/sh
# Writes the seed corpus of fuzz_source_tags (run from this folder): tiny FLAC, Ogg Vorbis,
# Opus and AIFF files made by their own tools, M4A, MOV, Matroska, TTA and WavPack files
# made by ffmpeg and wavpack, DSF and DSDIFF files around an ID3v2 tag, with tags and a cover
# where the kind keeps one, and the damaged shapes the programs must survive: an AIFF whose ID3
# chunk holds an encrypted or a compressed picture frame, and FLAC files whose picture block's
# lengths do not fit. No WMA seed: TagLib's ASF reader spends seconds (under the address
# sanitizer) on some damaged headers of a few hundred bytes, which the fuzzer counts as hangs.
set -eu
out=corpus/source_tags
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$out"
sox -n -r 8000 -c 1 -b 16 "$work/tone.wav" synth 0.05 sine 440 vol 0.5
printf 'P6 1 1 255\n\377\0\0' >"$work/cover.ppm"
sox -n -r 8000 -c 1 -b 16 "$work/plain.aiff" synth 0.05 sine 440 vol 0.5
convert "$work/cover.ppm" "$work/cover.png"
flac -s -f "$work/tone.wav" -o "$out/tagged.flac" --picture="$work/cover.png" \
    --tag=TITLE=Seed --tag=ARTIST=Sonabox --no-padding
oggenc -Q "$work/tone.wav" -o "$out/tagged.ogg" -t Seed -a Sonabox
opusenc --quiet --picture "$work/cover.png" --title Seed "$work/tone.wav" "$out/tagged.opus"
tags="-metadata title=Seed -metadata artist=Sonabox -metadata track=1 -metadata date=2024"
tone="-f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.05"
picture="-i $work/cover.png -map 0 -map 1 -c:v copy -disposition:v attached_pic"
# shellcheck disable=SC2086 # the option lists are meant to split into words
{
    ffmpeg -v error -y $tone $picture -ac 1 -c:a aac -b:a 16k $tags "$out/tagged.m4a"
    ffmpeg -v error -y $tone -ac 1 -c:a aac -b:a 16k $tags "$out/tagged.mov"
    ffmpeg -v error -y $tone -ac 1 -c:a flac -attach "$work/cover.png" \
        -metadata:s:t mimetype=image/png -metadata:s:t filename=cover.png $tags "$out/tagged.mka"
    ffmpeg -v error -y $tone -ac 1 $tags "$out/tagged.tta"
}
# DSF and DSDIFF files around the ID3v2 tag of an MP3 that ffmpeg writes (no tool here
# writes either kind).
# shellcheck disable=SC2086
ffmpeg -v error -y $tone $picture -ac 1 $tags "$work/tag.mp3"
python3 - "$work/tag.mp3" "$out" <<'PY'
import struct
import sys

mp3, out = sys.argv[1], sys.argv[2]
data = open(mp3, 'rb').read()
size = 0
for byte in data[6:10]:
    size = size << 7 | (byte & 0x7f)
id3 = data[:10 + size]
samples = b'\x69' * 8192
head = 28 + 52 + 12 + len(samples)
dsf = (b'DSD ' + struct.pack('<QQQ', 28, head + len(id3), head) + b'fmt ' +
       struct.pack('<QIIIIIIQII', 52, 1, 0, 2, 2, 2822400, 1, 4096 * 8, 4096, 0) +
       b'data' + struct.pack('<Q', 12 + len(samples)) + samples + id3)
open(out + '/tagged.dsf', 'wb').write(dsf)


def chunk(name, body):
    return name + struct.pack('>Q', len(body)) + body + b'\0' * (len(body) % 2)


prop = (b'SND ' + chunk(b'FS  ', struct.pack('>I', 2822400)) +
        chunk(b'CHNL', struct.pack('>H', 2) + b'SLFTSRGT') +
        chunk(b'CMPR', b'DSD \x0enot compressed'))
form = (b'DSD ' + chunk(b'FVER', struct.pack('>I', 0x01050000)) + chunk(b'PROP', prop) +
        chunk(b'DSD ', samples) + chunk(b'ID3 ', id3))
open(out + '/tagged.dff', 'wb').write(b'FRM8' + struct.pack('>Q', len(form)) + form)
PY
wavpack -q -y -w Title=Seed -w Artist=Sonabox --write-binary-tag \
    "Cover Art (Front)=@$work/cover.png" "$work/tone.wav" -o "$out/tagged.wv"
python3 - "$work/plain.aiff" "$out" <<'PY'
import struct
import sys

plain, out = sys.argv[1], sys.argv[2]


def syncsafe(n):
    return bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])


def frame(fid, body, flags=b'\0\0'):
    return fid + struct.pack('>I', len(body)) + flags + body


def id3(frames):
    return b'ID3\x03\x00\x00' + syncsafe(len(frames)) + frames


def aiff(name, tag):
    data = bytearray(open(plain, 'rb').read())
    data += b'ID3 ' + struct.pack('>I', len(tag)) + tag + (b'\0' if len(tag) % 2 else b'')
    data[4:8] = struct.pack('>I', len(data) - 8)
    open(out + '/' + name, 'wb').write(data)


title = frame(b'TIT2', b'\x00Seed')
picture = b'\x00image/png\x00\x03\x00' + b'\x89PNG' + b'x' * 12
aiff('id3_plain.aiff', id3(title + frame(b'APIC', picture)))
aiff('id3_encrypted_apic.aiff', id3(title + frame(b'APIC', b'\x01' + picture, b'\x00\x40')))
aiff('id3_compressed_apic.aiff', id3(title + frame(b'APIC', b'\x7f' + picture, b'\x00\x80')))

flac = bytearray(open(out + '/tagged.flac', 'rb').read())
at = 4
while True:
    kind, length = flac[at] & 0x7f, int.from_bytes(flac[at + 1:at + 4], 'big')
    if kind == 6:
        for name, mime in (('picture_mime_past_end.flac', 0x7fffffff),
                           ('picture_mime_to_end.flac', length)):
            damaged = bytearray(flac)
            damaged[at + 8:at + 12] = struct.pack('>I', mime)
            open(out + '/' + name, 'wb').write(damaged)
        break
    at += 4 + length
PY
