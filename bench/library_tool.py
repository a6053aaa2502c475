#!/usr/bin/env python3
"""The library benchmark's helper (bench/library_benchmark.sh): makes the generated library,
changes some of its sources, and snapshots an MP3 mirror to tell which MP3s a sync converted
and which had their tags only rewritten.

  library_tool.py make SRC FILES FOLDERS BASE_WAV...  one base tone per folder, FILES in all
  library_tool.py change SRC COUNT LOUD_WAV           COUNT sources get new audio; prints them
  library_tool.py snapshot DEST FOLDER... > FILE      sizes and times of every MP3, and the
                                                      audio and whole hashes in FOLDERs
  library_tool.py compare BEFORE AFTER                the counts of converted, tags-only and
                                                      other changes
"""
import hashlib
import json
import os
import struct
import sys
import wave


def info_chunk(tags):
    """A RIFF LIST/INFO chunk with the tags (INAM title, IART artist, IPRD album, IPRT track)."""
    body = b"INFO"
    for key, value in tags:
        text = value.encode() + b"\0"
        if len(text) % 2:
            text += b"\0"
        body += key + struct.pack("<I", len(text)) + text
    return b"LIST" + struct.pack("<I", len(body)) + body


def write_wav(path, params, frames, tags):
    fmt = struct.pack("<HHIIHH", 1, params.nchannels, params.framerate,
                      params.framerate * params.nchannels * params.sampwidth,
                      params.nchannels * params.sampwidth, params.sampwidth * 8)
    chunks = (b"fmt " + struct.pack("<I", len(fmt)) + fmt + info_chunk(tags) + b"data" +
              struct.pack("<I", len(frames)) + frames)
    with open(path, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks)


def read_wav(path):
    with wave.open(path) as base:
        return base.getparams(), base.readframes(base.getnframes())


def varied(frames, number):
    """The frames with the file's number in a few samples: every source's audio differs."""
    data = bytearray(frames)
    for at in range(0, 64, 4):
        data[1000 + at:1002 + at] = struct.pack("<h", (number * 7 + at) % 30000)
    return bytes(data)


def sources_in(top):
    found = []
    for folder, folders, names in os.walk(top):
        folders.sort()
        found += [os.path.join(folder, n) for n in sorted(names) if n.endswith(".wav")]
    return found


def make(top, files, folders, bases):
    per_folder, extra = divmod(files, folders)
    number = 0
    for f in range(folders):
        artist, album = divmod(f, 10)
        folder = os.path.join(top, "Artist %03d" % artist, "Album %02d" % album)
        os.makedirs(folder)
        params, frames = read_wav(bases[f % len(bases)])
        for track in range(1, per_folder + (1 if f < extra else 0) + 1):
            number += 1
            title = "Track %d of album %d" % (track, f)
            tags = [(b"INAM", title), (b"IART", "Artist %03d" % artist),
                    (b"IPRD", "Album %03d-%02d" % (artist, album)), (b"IPRT", str(track))]
            write_wav(os.path.join(folder, "%02d %s.wav" % (track, title)), params,
                      varied(frames, number), tags)


def change(top, count, loud):
    """Gives `count` sources spread over the library new, louder audio with the same tags."""
    sources = sources_in(top)
    params, frames = read_wav(loud)
    step = max(1, len(sources) // count)
    for path in sources[::step][:count]:
        with open(path, "rb") as old:
            data = old.read()
        start = data.index(b"LIST")
        tags_end = start + 8 + struct.unpack("<I", data[start + 4:start + 8])[0]
        chunk = data[start + 12:tags_end]
        tags = []
        while len(chunk) >= 8:
            size = struct.unpack("<I", chunk[4:8])[0]
            tags.append((chunk[:4], chunk[8:8 + size].rstrip(b"\0").decode()))
            chunk = chunk[8 + size + size % 2:]
        write_wav(path, params, varied(frames, 0), tags)
        print(path)


def frame_length(header):
    """The length of the MPEG audio frame that starts with these 4 bytes; 0 when not Layer III."""
    b1, b2 = header[1], header[2]
    version, layer = (b1 >> 3) & 3, (b1 >> 1) & 3
    if header[0] != 0xFF or (b1 & 0xE0) != 0xE0 or layer != 1:
        return 0
    mpeg1 = version == 3
    rates = ([0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320] if mpeg1 else
             [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160])
    samples = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}
    if (b2 >> 4) in (0, 15) or (b2 >> 2) & 3 == 3 or version == 1:
        return 0
    bitrate, rate = rates[b2 >> 4] * 1000, samples[version][(b2 >> 2) & 3]
    return (144 if mpeg1 else 72) * bitrate // rate + ((b2 >> 1) & 1)


def audio_hash(data):
    """The hash of the audio frames: no ID3v2 or ID3v1 tag, no Xing/Info frame."""
    start, end = 0, len(data)
    if data[:3] == b"ID3":
        size = 0
        for byte in data[6:10]:
            size = size << 7 | (byte & 0x7F)
        start = 10 + size + (10 if data[5] & 0x10 else 0)
    if end - start >= 128 and data[end - 128:end - 125] == b"TAG":
        end -= 128
    length = frame_length(data[start:start + 4]) if end - start >= 4 else 0
    if length and (b"Xing" in data[start:start + 64] or b"Info" in data[start:start + 64]):
        start += length
    return hashlib.sha1(data[start:end]).hexdigest()


def snapshot(top, folders):
    files = {}
    watched = [os.path.abspath(f) + os.sep for f in folders]
    for folder, _, names in os.walk(top):
        for name in names:
            path = os.path.join(folder, name)
            if not name.lower().endswith(".mp3"):
                continue
            stat = os.stat(path)
            entry = {"size": stat.st_size, "time": stat.st_mtime_ns}
            if any(os.path.abspath(path).startswith(w) for w in watched):
                with open(path, "rb") as mp3:
                    data = mp3.read()
                entry["audio"], entry["whole"] = audio_hash(data), hashlib.sha1(data).hexdigest()
            files[os.path.relpath(path, top)] = entry
    json.dump(files, sys.stdout)


def compare(before_file, after_file):
    with open(before_file) as f:
        before = json.load(f)
    with open(after_file) as f:
        after = json.load(f)
    converted = tags = other = 0
    for name, now in after.items():
        was = before.get(name)
        if was is None:
            other += 1
        elif "audio" in was and "audio" in now:
            if was["audio"] != now["audio"]:
                converted += 1
            elif was["whole"] != now["whole"]:
                tags += 1
        elif (was["size"], was["time"]) != (now["size"], now["time"]):
            other += 1
    other += sum(1 for name in before if name not in after)
    print(converted, tags, other)


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    if command == "make":
        make(args[0], int(args[1]), int(args[2]), args[3:])
    elif command == "change":
        change(args[0], int(args[1]), args[2])
    elif command == "snapshot":
        snapshot(args[0], args[1:])
    elif command == "compare":
        compare(args[0], args[1])
    else:
        sys.exit("unknown command " + command)
