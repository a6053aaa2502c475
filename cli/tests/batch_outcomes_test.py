#!/usr/bin/env python3
"""What an encode batch of sonabox-cli reports and what it keeps, on files that are not what
they seem: sources cut short of their headers, a WAV layout the audio library loops on, two
batches writing the same names at once, and an album step that cannot write. Results are
checked with ffprobe and ffmpeg."""
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

PROGRAM_DIR = sys.argv.pop(1)
CLI = os.path.join(PROGRAM_DIR, "sonabox-cli")


def sox_tone(path, seconds, frequency=440):
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth",
                    str(seconds), "sine", str(frequency)], check=True)


def codec_of(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", path],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)["streams"][0]["codec_name"]


class Batches(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.out = self.path("out")
        os.mkdir(self.out)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        self.env["XDG_CONFIG_HOME"] = self.path("config")

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def encode(self, *paths, timeout=120):
        # The timeout only guards the test run: every batch here ends within seconds.
        run = subprocess.run([CLI, "encode", "--json", "--encoder", "plugger", "--bitrate", "128",
                              "--output", "out", "--delete-source", *paths], cwd=self.dir,
                             env=self.env, capture_output=True, text=True, timeout=timeout)
        events = [json.loads(line) for line in run.stdout.splitlines() if line.startswith("{")]
        verdicts = {os.path.basename(e["source"]): (e["verdict"], e["reason"])
                    for e in events if e["event"] == "done"}
        return run.returncode, verdicts, run.stderr

    def test_sources_cut_short_of_their_headers_are_encoded_and_kept(self):
        os.mkdir(self.path("src"))
        sox_tone(self.path("src", "whole.wav"), 2)
        for name in ("cutwav.wav", "cutaiff.aiff", "cutaifc.aifc"):
            sox_tone(self.path("src", name), 60)
            with open(self.path("src", name), "rb") as f:
                head = f.read(4096)
            # 5.7 s of the 60 s: the sample data starts after the "data" header, or after the
            # SSND header and its offset and block size fields.
            start = head.index(b"data") + 8 if name.endswith(".wav") else head.index(b"SSND") + 16
            os.truncate(self.path("src", name), start + int(5.7 * 44100) * 4)
        status, verdicts, err = self.encode("src")
        self.assertEqual(status, 1, err)
        for name in ("cutwav.wav", "cutaiff.aiff", "cutaifc.aifc"):
            with self.subTest(name=name):
                self.assertEqual(verdicts[name], (
                    "failed", "the source holds 5.7 s of the 60 s its header declares; "
                    "source kept"))
                self.assertIn(name + ": the source holds 5.7 s of the 60 s its header declares",
                              err)
                self.assertTrue(os.path.exists(self.path("src", name)))
                mp3 = os.path.join(self.out, os.path.splitext(name)[0] + ".mp3")
                self.assertEqual(codec_of(mp3), "mp3")
        self.assertEqual(verdicts["whole.wav"][0], "done")
        self.assertFalse(os.path.exists(self.path("src", "whole.wav")))

    def test_a_wav_the_audio_library_loops_on_fails_at_once(self):
        # A second "fmt " chunk whose body reads as an INFO list with a sub-chunk that jumps
        # back onto itself: libsndfile's own parser never ends on it.
        sox_tone(self.path("plain.wav"), 1)
        with open(self.path("plain.wav"), "rb") as f:
            plain = f.read()
        fmt_at, data_at = plain.index(b"fmt "), plain.index(b"data")
        looping = (b"INFOINAM" + b"IKEY" + struct.pack("<I", 0xFFFFFFF8)).ljust(106, b"\0")
        body = (b"WAVE" + plain[fmt_at:data_at] + b"fmt " + struct.pack("<I", len(looping)) +
                looping + plain[data_at:])
        with open(self.path("two_fmt.wav"), "wb") as f:
            f.write(b"RIFF" + struct.pack("<I", len(body)) + body)
        status, verdicts, err = self.encode("two_fmt.wav", "plain.wav", timeout=30)
        self.assertEqual(status, 1, err)
        verdict, reason = verdicts["two_fmt.wav"]
        self.assertEqual(verdict, "failed")
        self.assertIn("more than one 'fmt ' chunk", reason)
        self.assertTrue(os.path.exists(self.path("two_fmt.wav")))
        self.assertEqual(verdicts["plain.wav"][0], "done")


if __name__ == "__main__":
    unittest.main()
