#!/usr/bin/env python3
"""The sonabox command line on real files, without a display: every encoder and layer, folder
arguments, --delete-source with a broken file, --json events, exit statuses, defaults from the
settings file and Ctrl+C in the middle of a file. Results are checked with ffprobe."""
import json
import os
import signal
import subprocess
import unittest

from cli_harness import (CLI, LAUNCHER, PLUGGER_ENTRY, PROGRAM_DIR, CliTest, events_of,
                         first_stream as probe, sox_tone)


class CommandLine(CliTest):
    def setUp(self):
        super().setUp()
        self.out = self.folder("out")

    def run_cli(self, *args, program=CLI):
        run = self.cli(*args, program=program)
        return run.returncode, events_of(run.stdout), run.stderr

    def test_every_encoder_and_layer(self):
        sox_tone(self.path("tone.wav"), 1.5)
        cases = [("korvo", "1", "stereo", "192", "mp1", 2),
                 ("korvo", "2", "joint", "128", "mp2", 2),
                 ("korvo", "3", "mono", "64", "mp3", 1),
                 ("bladeenc", "3", "mono", "64", "mp3", 1),
                 ("plugger", "3", "stereo", "160", "mp3", 2)]
        for encoder, layer, mode, kbps, codec, channels in cases:
            with self.subTest(encoder=encoder, layer=layer):
                mp3 = os.path.join(self.out, "tone.mp3")
                if os.path.exists(mp3):
                    os.remove(mp3)
                # Relative paths are the caller's, through the launcher as /usr/bin/sonabox.
                status, events, err = self.run_cli(
                    "encode", "--json", "--encoder", encoder, "--layer", layer, "--mode", mode,
                    "--bitrate", kbps, "--output", "out", "tone.wav", program=LAUNCHER)
                self.assertEqual(status, 0, err)
                stream = probe(mp3)
                self.assertEqual(stream["codec_name"], codec)
                self.assertEqual(int(stream["bit_rate"]), int(kbps) * 1000)
                self.assertEqual(stream["channels"], channels)
                self.assertEqual([e["event"] for e in events if e["event"] != "progress"],
                                 ["started", "done", "batch"])
                self.assertEqual(events[-2]["verdict"], "done")
                self.assertEqual(events[-2]["output"], mp3)
                self.assertTrue(os.path.exists(self.path("tone.wav")))

    def test_folder_arguments_and_delete_source_with_a_broken_file(self):
        os.mkdir(self.path("wavs"))
        os.mkdir(self.path("wavs", "sub"))
        # Every source kind the Encode page lists is queued.
        for name in ("b.wav", "a.wav", "sub/c.wav", "d.flac"):
            sox_tone(self.path("wavs", name), 1)
        with open(self.path("wavs", "broken.wav"), "w") as f:
            f.write("this is not a wave file")
        with open(self.path("wavs", "notes.txt"), "w") as f:
            f.write("not queued")
        status, events, err = self.run_cli("encode", "--json", "--encoder", "plugger",
                                           "--bitrate", "128", "--output", "out",
                                           "--delete-source", "wavs")
        self.assertEqual(status, 1)
        done = {os.path.basename(e["source"]): e["verdict"] for e in events if e["event"] == "done"}
        # The folder's own files first, then its sub-folder's.
        self.assertEqual([os.path.basename(e["source"]) for e in events if e["event"] == "started"],
                         ["a.wav", "b.wav", "broken.wav", "d.flac", "c.wav"])
        self.assertEqual(done, {"a.wav": "done", "b.wav": "done", "broken.wav": "failed",
                                "d.flac": "done", "c.wav": "done"})
        self.assertEqual(events[-1], {"event": "batch", "files": 5, "done": 4, "failed": 1,
                                      "interrupted": False})
        self.assertEqual(probe(os.path.join(self.out, "d.mp3"))["codec_name"], "mp3")
        self.assertEqual(probe(os.path.join(self.out, "sub", "c.mp3"))["codec_name"], "mp3")
        # Sources go only when their MP3 holds their audio.
        self.assertEqual(sorted(os.listdir(self.path("wavs"))), ["broken.wav", "notes.txt", "sub"])
        self.assertEqual(os.listdir(self.path("wavs", "sub")), [])
        self.assertIn("sonabox: 1 of 5 files failed:\nbroken.wav: ", err)
        self.assertIn("; source kept", err)

    def test_defaults_come_from_the_settings_file_as_the_window_uses_them(self):
        sox_tone(self.path("tone.wav"), 1)
        os.mkdir(self.path("stored"))
        # The window resets Mode to "Stereo" once the encoder is known and keeps the bitrate.
        self.settings(f"[ENCODER]\nCodec={PLUGGER_ENTRY}\nMode=Mono\nBitrate=  64 Kbit/s\n"
                      f"Delsource=1\nOutput={self.path('stored')}/\n")
        status, _, err = self.run_cli("encode", "tone.wav")
        self.assertEqual(status, 0, err)
        stream = probe(self.path("stored", "tone.mp3"))
        self.assertEqual((int(stream["bit_rate"]), stream["channels"]), (64000, 2))
        self.assertFalse(os.path.exists(self.path("tone.wav")))

    def test_exit_statuses_and_refusals(self):
        sox_tone(self.path("tone.wav"), 0.5)
        cases = [(["encode", "tone.wav"], 2, "No codec selected"),
                 (["encode", "--encoder", "lame", "tone.wav"], 2, "--encoder must be one of"),
                 (["encode", "--encoder", "bladeenc", "--layer", "2", "tone.wav"], 2,
                  "--layer 2 is not offered by bladeenc"),
                 (["encode", "--encoder", "korvo", "--bitrate", "32", "tone.wav"], 2,
                  "--bitrate 32 is not offered by korvo"),
                 (["encode", "--encoder", "korvo", "missing.wav"], 2, "no such file"),
                 (["encode", "--encoder", "korvo", "out"], 2, "no WAV, FLAC, AIFF"),
                 (["decode", "--encoder", "korvo", "tone.wav"], 2, "is an encode option"),
                 (["frobnicate"], 2, "unknown command"),
                 (["decode", "--bogus", "tone.wav"], 2, "unknown option --bogus"),
                 (["encode", "--json=yes", "tone.wav"], 2, "--json takes no value"),
                 (["encode", "tone.wav", "--layer"], 2, "--layer needs a value"),
                 (["--help"], 0, ""),
                 (["decode", "tone.wav"], 2, "no MP3 or MP2 files"),
                 (["decode", "--output=", "tone.wav"], 2, "--output needs a value"),
                 (["encode", "--encoder", "korvo", "--output", "", "tone.wav"], 2,
                  "--output needs a value"),
                 (["encode", "--encoder=", "tone.wav"], 2, "--encoder needs a value")]
        for args, expected, said in cases:
            with self.subTest(args=args):
                status, _, err = self.run_cli(*args)
                self.assertEqual(status, expected, err)
                self.assertIn(said, err)
        self.assertEqual(os.listdir(self.out), [])
        self.assertEqual(os.listdir(self.env["HOME"]), [])

    def test_decode_to_wav(self):
        sox_tone(self.path("tone.wav"), 1)
        subprocess.run(["lame", "--quiet", "-b", "128", self.path("tone.wav"),
                        self.path("tone.mp3")], check=True)
        status, events, err = self.run_cli("decode", "--json", "--output", "out", "tone.mp3")
        self.assertEqual(status, 0, err)
        stream = probe(self.path("out", "tone.WAV"))
        self.assertEqual((stream["codec_name"], stream["channels"]), ("pcm_s16le", 2))
        self.assertAlmostEqual(float(stream["duration"]), 1.0, delta=0.1)
        self.assertEqual(events[-1]["done"], 1)

    def interrupt_mid_file(self, args, source):
        process = self.start_cli(*args, "--json", "--output", "out", source,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        started = json.loads(process.stdout.readline())
        self.assertEqual(started["event"], "started")
        process.send_signal(signal.SIGINT)
        rest, err = process.communicate(timeout=120)
        self.assertEqual(process.returncode, 130, err)
        events = [json.loads(line) for line in rest.splitlines()]
        verdicts = [e["verdict"] for e in events if e["event"] == "done"]
        return verdicts

    def test_ctrl_c_cancels_the_running_file_and_leaves_nothing(self):
        # Ten minutes of audio on one thread: the signal comes while the file runs.
        self.env["SONABOX_ENCODER_THREADS"] = "1"
        self.env["SONABOX_DECODER_THREADS"] = "1"
        sox_tone(self.path("long.wav"), 600)
        subprocess.run(["lame", "--quiet", "-b", "32", "-m", "m", self.path("long.wav"),
                        self.path("long.mp3")], check=True)
        for args, source in [(["encode", "--encoder", "korvo", "--layer", "2", "--delete-source"],
                              "long.wav"),
                             (["decode"], "long.mp3")]:
            with self.subTest(args=args):
                self.assertEqual(self.interrupt_mid_file(args, source), ["cancelled"])
                self.assertEqual(os.listdir(self.out), [])
                self.assertTrue(os.path.exists(self.path(source)))
                self.assertFalse(os.path.exists(os.path.join(PROGRAM_DIR, "codec")))

if __name__ == "__main__":
    unittest.main()
