#!/usr/bin/env python3
"""Coding error over 50 ms windows of two decodes of the same source: a one-thread encode and
a chunked one. Prints the file's SNR, the worst window, and the windows right after each join
against the file's mean and against the one-thread encode's same windows, all in dB.

    join_trace.py source.wav single.wav joined.wav CHUNK_FRAMES FRAME_SAMPLES

The decodes must be aligned with the source (a decoder that honours the gapless delay and
padding gives that). A join falls near frame k * CHUNK_FRAMES of the stream: up to four frames
before it or eight after, where the encoder finds a fit, so "after a join" is every window that
overlaps that stretch or the 100 ms after it."""

import math
import sys
import wave
from array import array

WINDOW_SECONDS = 0.05
AFTER_SECONDS = 0.1
JOIN_BACK_FRAMES = 4
JOIN_AHEAD_FRAMES = 8


def read(path):
    with wave.open(path, "rb") as f:
        if f.getsampwidth() != 2:
            sys.exit(f"{path}: 16-bit PCM expected")
        data = array("h", f.readframes(f.getnframes()))
        if sys.byteorder != "little":
            data.byteswap()
        return f.getframerate(), f.getnchannels(), data


def windows(source, decoded, channels, window):
    """Per window: (signal energy, error energy)."""
    n = min(len(source), len(decoded)) // channels * channels
    step = window * channels
    out = []
    for start in range(0, n - step + 1, step):
        s = source[start : start + step]
        d = decoded[start : start + step]
        signal = sum(x * x for x in s)
        error = sum((a - b) * (a - b) for a, b in zip(s, d))
        out.append((signal, error))
    return out


def db(signal, error):
    return 10 * math.log10(max(signal, 1e-9) / max(error, 1e-9))


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    rate, channels, source = read(sys.argv[1])
    _, _, single = read(sys.argv[2])
    _, _, joined = read(sys.argv[3])
    chunk_frames, frame_samples = int(sys.argv[4]), int(sys.argv[5])
    _, decoded_channels, _ = read(sys.argv[2])
    if decoded_channels == 1 and channels == 2:
        # A mono coding is measured against the source's mix, as the coder takes it.
        source = array("h", [(source[i] + source[i + 1]) // 2 for i in range(0, len(source), 2)])
        channels = 1
    for name, d in (("one thread", single), ("chunked", joined)):
        if len(d) != len(source):
            print(f"warning: {name} decode has {len(d) // channels} samples, "
                  f"source {len(source) // channels}")

    window = round(WINDOW_SECONDS * rate)
    one = windows(source, single, channels, window)
    many = windows(source, joined, channels, window)
    count = min(len(one), len(many))
    one, many = one[:count], many[:count]

    # The windows that overlap the 100 ms after each join.
    after = set()
    joins = []
    k = 1
    while True:
        start = (k * chunk_frames - JOIN_BACK_FRAMES) * frame_samples
        if start >= count * window:
            break
        first = start // window
        end = start + (JOIN_BACK_FRAMES + JOIN_AHEAD_FRAMES) * frame_samples
        last = min(count - 1, (end + round(AFTER_SECONDS * rate)) // window)
        joins.append(range(first, last + 1))
        after.update(range(first, last + 1))
        k += 1

    def summary(w):
        total = db(sum(s for s, _ in w), sum(e for _, e in w))
        per = [db(s, e) for s, e in w]
        mean = sum(per) / len(per)
        return total, mean, per

    print(f"windows: {count} of 50 ms, joins: {len(joins)} (every {chunk_frames} frames)")
    rows = {}
    for name, w in (("one thread", one), ("chunked", many)):
        total, mean, per = summary(w)
        worst = min(range(count), key=lambda i: per[i])
        near = [per[i] for i in after]
        rest = [per[i] for i in range(count) if i not in after]
        near_mean = sum(near) / len(near) if near else float("nan")
        rest_mean = sum(rest) / len(rest) if rest else float("nan")
        rows[name] = per
        print(f"{name:>10}: file SNR {total:6.2f} dB, mean window {mean:6.2f} dB, "
              f"worst window {per[worst]:6.2f} dB ({per[worst] - mean:+.2f}) at "
              f"{worst * WINDOW_SECONDS:.2f} s; after joins {near_mean:6.2f} dB, "
              f"elsewhere {rest_mean:6.2f} dB ({near_mean - rest_mean:+.2f})")

    # The chunked encode against the one-thread one, window by window: away from the joins
    # the two differ only by chance, so the difference after the joins is the joins' trace.
    delta = [b - a for a, b in zip(rows["one thread"], rows["chunked"])]
    near = [delta[i] for i in after]
    rest = [delta[i] for i in range(count) if i not in after]
    per_join = [min(delta[i] for i in j) for j in joins]
    print(f"chunked - one thread, per window: after joins mean {sum(near) / len(near):+.2f} dB, "
          f"worst {min(near):+.2f} dB; elsewhere mean {sum(rest) / max(1, len(rest)):+.2f} dB, "
          f"worst {min(rest, default=0.0):+.2f} dB")
    print("per join (worst window after it, chunked - one thread, dB):",
          " ".join(f"{d:+.2f}" for d in per_join))
    # The mean difference by the window's place against the nominal join.
    profile = []
    for offset in range(-2, 13):
        at = [k * chunk_frames * frame_samples // window + offset for k in range(1, len(joins) + 1)]
        at = [i for i in at if 0 <= i < count]
        profile.append(sum(delta[i] for i in at) / len(at))
    print("by window from the join (-100 ms to +600 ms), mean of chunked - one thread, dB:",
          " ".join(f"{d:+.2f}" for d in profile))


if __name__ == "__main__":
    main()
