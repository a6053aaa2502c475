#!/usr/bin/env python3
"""Writes the seed corpora of fuzz_wav_input (a few tiny WAV files) and fuzz_ffmpeg_source
(a tiny file of each kind FFmpeg reads, made by ffmpeg); run from this folder."""
import math
import os
import subprocess
import struct


def chunk(cid, data):
    return cid + struct.pack('<I', len(data)) + data + (b'\0' if len(data) % 2 else b'')


def fmt_chunk(rate=8000, channels=1, fmt_tag=1, bits=16):
    width = bits // 8
    fmt = struct.pack('<HHIIHH', fmt_tag, channels, rate, rate * width * channels,
                      width * channels, bits)
    if fmt_tag == 0xFFFE:  # WAVE_FORMAT_EXTENSIBLE with the PCM sub-format
        fmt += struct.pack('<HHI', 22, bits, (1 << channels) - 1)
        fmt += struct.pack('<IHH', 1, 0x0000, 0x0010) + bytes.fromhex('800000aa00389b71')
    return chunk(b'fmt ', fmt)


def wav(name, rate=8000, channels=1, frames=200, fmt_tag=1, bits=16, before=b'', after=b'',
        declared=None, fmt=None):
    width = bits // 8
    samples = b''
    for n in range(frames):
        value = math.sin(2 * math.pi * 440 * n / rate)
        if fmt_tag == 3 or (fmt_tag == 0xFFFE and bits == 32):
            one = struct.pack('<f', value / 2)
        elif bits == 24:
            one = struct.pack('<i', int(2000000 * value))[:3]
        elif bits == 8:
            one = struct.pack('<B', int(128 + 60 * value))
        else:
            one = struct.pack('<h', int(8000 * value))
        samples += one * channels
    if fmt is None:
        fmt = fmt_chunk(rate, channels, fmt_tag, bits)
    size = len(samples) if declared is None else declared
    body = b'WAVE' + fmt + before + b'data' + struct.pack('<I', size) + samples
    body += (b'\0' if len(samples) % 2 else b'') + after
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

# Malformed layouts: repeated and nested chunks, sizes past the end, odd sizes. The parsers
# behind the audio reader must never see these; seeds close to them let a short run reach the
# checks and the code around them.
# A second "fmt " chunk whose body reads as an INFO list with a sub-chunk that jumps back onto
# itself: the parser that skips the second "fmt " header loops on it forever.
second_fmt = chunk(b'fmt ', (b'INFOINAM' + b'IKEY' + struct.pack('<I', 0xFFFFFFF8) +
                             b'\0' * 106)[:106])
wav('second_fmt.wav', before=second_fmt)
wav('second_fmt_after.wav', after=second_fmt)
wav('second_data.wav', frames=50, after=chunk(b'data', b'\1\2' * 30))
wav('second_fact.wav', before=chunk(b'fact', struct.pack('<I', 200)) * 2)
wav('nested_riff.wav', before=chunk(b'RIFF', b'WAVE' + fmt_chunk(16000, 2) +
                                    chunk(b'data', b'\0' * 16)))
wav('nested_list.wav', before=chunk(b'LIST', b'INFO' + chunk(b'LIST', b'INFO' + chunk(
    b'INAM', b'inner\0')) + chunk(b'data', b'\0' * 8)))
wav('list_past_end.wav', after=b'LIST' + struct.pack('<I', 0x7FFFFFF0) + b'INFOINAM')
wav('odd_sizes.wav', bits=8, frames=201, before=chunk(b'note', b'abc') + chunk(b'PAD ', b'z'))
wav('extensible.wav', channels=2, frames=100, fmt_tag=0xFFFE, bits=24)
wav('fmt_after_data.wav', fmt=b'', after=fmt_chunk())
wav('data_past_end.wav', before=chunk(b'JUNK', b'\0' * 28), declared=0xFFFFFFFF)


def rf64(name, frames=100, before=b''):
    samples = b''.join(struct.pack('<h', (n * 331) % 8000) for n in range(frames))
    ds64 = chunk(b'ds64', struct.pack('<QQQI', 0, len(samples), frames, 0))
    body = b'WAVE' + ds64 + fmt_chunk() + before + b'data' + struct.pack('<I', 0xFFFFFFFF) + samples
    with open('corpus/wav_input/' + name, 'wb') as out:
        out.write(b'RF64' + struct.pack('<I', 0xFFFFFFFF) + body)


rf64('rf64.wav')
rf64('rf64_list.wav', before=chunk(b'LIST', b'INFO' + b'IKEY' + struct.pack('<I', 0xFFFFFFF8)))


def rifx(name, rate=8000, frames=200):
    """The big-endian form: every size, field and sample with its bytes the other way round."""
    fmt = struct.pack('>HHIIHH', 1, 1, rate, 2 * rate, 2, 16)
    samples = b''.join(struct.pack('>h', int(8000 * math.sin(2 * math.pi * 440 * n / rate)))
                       for n in range(frames))
    body = (b'WAVEfmt ' + struct.pack('>I', len(fmt)) + fmt + b'data' +
            struct.pack('>I', len(samples)) + samples)
    with open('corpus/wav_input/' + name, 'wb') as out:
        out.write(b'RIFX' + struct.pack('>I', len(body)) + body)


rifx('rifx.wav')


def ffmpeg_source(name, *arguments, audio='sine=440:sample_rate=8000:duration=0.1'):
    """A tenth of a second of a tone (or the given inputs) encoded by ffmpeg."""
    os.makedirs('corpus/ffmpeg_source', exist_ok=True)
    inputs = ['-f', 'lavfi', '-i', audio] if audio else []
    subprocess.run(['ffmpeg', '-nostdin', '-v', 'error', '-y', *inputs, *arguments,
                    'corpus/ffmpeg_source/' + name], check=True)


ffmpeg_source('aac.m4a', '-c:a', 'aac', '-b:a', '16k')
ffmpeg_source('alac.m4a', '-c:a', 'alac')
ffmpeg_source('wmav2.wma', '-c:a', 'wmav2', '-b:a', '24k')
ffmpeg_source('wavpack.wv', '-c:a', 'wavpack')
ffmpeg_source('tta.tta', '-c:a', 'tta')
ffmpeg_source('flac.mka', '-c:a', 'flac')
ffmpeg_source('vorbis.webm', '-c:a', 'libvorbis', '-ar', '8000')
ffmpeg_source('pcm.mov', '-c:a', 'pcm_s16le')
# Six channels, mixed down by the reader.
ffmpeg_source('six.mka', '-filter_complex', 'aformat=channel_layouts=5.1', '-c:a', 'pcm_s16le')
# A film without sound, and one with: the reader must find the sound stream or refuse.
ffmpeg_source('video.mkv', '-f', 'lavfi', '-i', 'testsrc=duration=0.1:size=16x16:rate=10', '-c:v',
              'mpeg4', audio=None)
ffmpeg_source('video_audio.mp4', '-f', 'lavfi', '-i', 'testsrc=duration=0.1:size=16x16:rate=10',
              '-c:v', 'mpeg4', '-c:a', 'aac', '-b:a', '16k', '-shortest')
