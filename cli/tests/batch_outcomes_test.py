#!/usr/bin/env python3
"""What an encode batch of sonabox-cli reports and what it keeps, on files that are not what
they seem: sources cut short of their headers, a WAV layout the audio library loops on, two
batches writing the same names at once, and an album step that cannot write. Results are
checked with ffprobe and ffmpeg."""
import array
import json
import os
import resource
import signal
import struct
import subprocess
import threading
import time
import unittest

from cli_harness import CliTest, events_of, first_stream, sox_tone


def codec_of(path):
    return first_stream(path)["codec_name"]


def frequency_of(path):
    """The tone's frequency in Hz, by zero crossings over one second from its middle."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "1",
                          "-ar", "44100", "-"], check=True, capture_output=True).stdout
    samples = array.array("h", raw)
    middle = len(samples) // 2
    second = samples[middle - 22050:middle + 22050]
    crossings = sum(1 for a, b in zip(second, second[1:]) if (a < 0) != (b < 0))
    return crossings / 2


class Batches(CliTest):
    def setUp(self):
        super().setUp()
        self.out = self.folder("out")

    def command(self, *paths):
        return ["encode", "--json", "--encoder", "plugger", "--bitrate", "128", "--output",
                "out", "--delete-source", *paths]

    def encode(self, *paths, timeout=120):
        # The timeout only guards the test run: every batch here ends within seconds.
        run = self.cli(*self.command(*paths), timeout=timeout)
        events = events_of(run.stdout)
        verdicts = {os.path.basename(e["source"]): (e["verdict"], e["reason"])
                    for e in events if e["event"] == "done"}
        return run.returncode, verdicts, run.stderr

    def start_batch_a_beside_b(self):
        """Batches a and b of the same names and lengths, told apart by their tones (a check of
        an MP3's length cannot see which batch wrote it); a runs until its second file, run
        beside its long first one, has its MP3, long before a checks it."""
        if (os.cpu_count() or 1) < 2:
            self.skipTest("the second file starts beside the first only with two cores")
        for batch, frequency in self.tones.items():
            os.mkdir(self.path(batch))
            sox_tone(self.path(batch, "n1.wav"), 40, frequency)
            sox_tone(self.path(batch, "n2.wav"), 2, frequency)
        first = self.start_cli(*self.command("a"), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 60
        while not os.path.exists(self.mp3["n2"]) and time.monotonic() < deadline:
            time.sleep(0.005)
        return first

    tones = {"a": 440, "b": 880}

    @property
    def mp3(self):
        return {name: os.path.join(self.out, name + ".mp3") for name in ("n1", "n2")}

    def test_two_batches_writing_the_same_names_never_lose_a_source(self):
        tones, mp3 = self.tones, self.mp3
        first = self.start_batch_a_beside_b()
        lines = []
        reader = threading.Thread(target=lambda: lines.extend(first.stdout))
        reader.start()
        first.send_signal(signal.SIGSTOP)
        try:
            # Batch b runs whole while batch a stands still, its programs done or not.
            run = self.cli(*self.command("b"), timeout=120)
            time.sleep(0.2)
            before = list(lines)
        finally:
            first.send_signal(signal.SIGCONT)
        first.wait(timeout=120)
        reader.join()
        first_err = first.stderr.read()
        first.stdout.close()
        first.stderr.close()
        events = ([json.loads(line) for line in before] +
                  [json.loads(line) for line in run.stdout.splitlines()] +
                  [json.loads(line) for line in lines[len(before):]])
        done = [e for e in events if e["event"] == "done"]
        self.assertEqual(len(done), 4, run.stderr + first_err)
        batch_of = lambda event: os.path.basename(os.path.dirname(event["source"]))
        name_of = lambda event: os.path.splitext(os.path.basename(event["source"]))[0]
        self.assertNotIn("n2", [name_of(e) for e in map(json.loads, before)
                                if e["event"] == "done"], "batch a checked n2 before its stop")
        # The name batch a was writing when b came is b's failure; b's source stays.
        b_n2 = next(e for e in done if (batch_of(e), name_of(e)) == ("b", "n2"))
        self.assertEqual((b_n2["verdict"], b_n2["reason"]),
                         ("failed", f"another conversion is writing {mp3['n2']}; source kept"))
        self.assertIn("n2.wav: another conversion is writing " + mp3["n2"], run.stderr)
        self.assertEqual(run.returncode, 1)
        for name in ("n1", "n2"):
            with self.subTest(name=name):
                # The MP3 holds the audio of the batch that last called the name done ...
                last = [batch_of(e) for e in done if name_of(e) == name and
                        e["verdict"] == "done"][-1]
                self.assertAlmostEqual(frequency_of(mp3[name]), tones[last], delta=20)
                # ... and every source is kept unless its own batch called it done.
                for batch in tones:
                    verdict = next(e["verdict"] for e in done
                                   if (batch_of(e), name_of(e)) == (batch, name))
                    self.assertEqual(os.path.exists(self.path(batch, name + ".wav")),
                                     verdict != "done", (batch, verdict))

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

    def test_a_killed_batch_leaves_no_claim_behind(self):
        first = self.start_batch_a_beside_b()
        first.kill()
        first.communicate(timeout=60)
        # Its programs end with it.
        time.sleep(1)
        status, verdicts, err = self.encode("b")
        self.assertEqual(status, 0, err)
        self.assertEqual(verdicts, {"n1.wav": ("done", ""), "n2.wav": ("done", "")})
        for name in ("n1", "n2"):
            self.assertAlmostEqual(frequency_of(self.mp3[name]), self.tones["b"], delta=20)

    def test_an_album_gain_that_cannot_be_written_fails_its_files(self):
        # An album of two: the gain goes into both MP3s once the second is checked.
        os.mkdir(self.path("album"))
        sox_tone(self.path("album", "n1.wav"), 2)
        sox_tone(self.path("album", "n2.wav"), 40)
        # Once n1 is done (n2's program runs by then), the batch itself may write no more than
        # a byte into any file: each write of the album step fails as on a full disk.
        batch = self.start_cli(
            *self.command("album"), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
            preexec_fn=lambda: signal.signal(signal.SIGXFSZ, signal.SIG_IGN))
        events = []
        for line in batch.stdout:
            events.append(json.loads(line))
            if events[-1]["event"] == "done":
                self.assertEqual(events[-1]["verdict"], "done")
                resource.prlimit(batch.pid, resource.RLIMIT_FSIZE, (1, resource.RLIM_INFINITY))
                break
        rest, err = batch.communicate(timeout=120)
        events += [json.loads(line) for line in rest.splitlines()]
        self.assertEqual(batch.returncode, 1, err)
        reason = ("its MP3 holds its audio, but the album gain could not be written into it: "
                  "cannot write a temporary file: File too large")
        album = {os.path.basename(e["source"]): (e["verdict"], e["reason"])
                 for e in events if e["event"] == "album"}
        self.assertEqual(album, {"n1.wav": ("failed", reason), "n2.wav": ("failed", reason)})
        self.assertEqual(events[-1], {"event": "batch", "files": 2, "done": 0, "failed": 2,
                                      "interrupted": False})
        self.assertIn(f"sonabox: 2 of 2 files failed:\nn1.wav: {reason}\nn2.wav: {reason}\n",
                      err)
        # The MP3s stay as the programs wrote them, and nothing of the step is left beside them.
        self.assertEqual(sorted(os.listdir(self.out)), ["n1.mp3", "n2.mp3"])
        for name in ("n1", "n2"):
            self.assertEqual(codec_of(self.mp3[name]), "mp3")


if __name__ == "__main__":
    unittest.main()
