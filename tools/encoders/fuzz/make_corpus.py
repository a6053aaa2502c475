#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_wav_input: a few tiny WAV files (run from this folder)."""
import math
import struct


def chunk(cid, data):
    return cid + struct.pack('<I', len(data)) + data + (b'\0' if len(data) % 2 else b'')


def wav(name, rate=8000, channels=1, frames=200, fmt_tag=1, bits=16, before=b'', after=b'',
        declared=None):
    width = bits // 8
    samples = b''
    for n in range(frames):
        value = math.sin(2 * math.pi * 440 * n / rate)
        if fmt_tag == 3:
            one = struct.pack('<f', value / 2)
        elif bits == 8:
            one = struct.pack('<B', int(128 + 60 * value))
        else:
            one = struct.pack('<h', int(8000 * value))
        samples += one * channels
    fmt = struct.pack('<HHIIHH', fmt_tag, channels, rate, rate * width * channels,
                      width * channels, bits)
    size = len(samples) if declared is None else declared
    body = b'WAVE' + chunk(b'fmt ', fmt) + before + b'data' + struct.pack('<I', size) + samples
    body += after
    with open('corpus/wav_input/' + name, 'wb') as out:
        out.write(b'RIFF' + struct.pack('<I', len(body)) + body)


def info(entries):
    return chunk(b'LIST', b'INFO' + b''.join(chunk(k, v + b'\0') for k, v in entries))


def id3(frames):
    body = b''.join(k + struct.pack('>I', len(v)) + b'\0\0' + v for k, v in frames)
    return chunk(b'id3 ', b'ID3\3\0\0' + bytes([0, 0, len(body) >> 7, len(body) & 0x7f]) + body)


wav('mono16.wav')
wav('stereo_info.wav', channels=2, frames=100,
    before=info([(b'INAM', 'Café 日本'.encode()), (b'IART', b'Bj\xf6rk'), (b'IPRD', b'Album'),
                 (b'IPRT', b'7'), (b'ICRD', b'1999'), (b'IGNR', b'Rock'), (b'ICMT', b'note')]))
wav('float_id3.wav', fmt_tag=3, bits=32, frames=100,
    after=id3([(b'TIT2', b'\1\xff\xfe\xe5\x65\x2c\x67\0\0'), (b'TPE1', b'\0M\xfam'),
               (b'TRCK', b'3/9'), (b'COMM', b'\3eng\0text')]))
wav('u8_short_data.wav', bits=8, frames=400, declared=100)
