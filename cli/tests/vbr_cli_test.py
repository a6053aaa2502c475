#!/usr/bin/env python3
"""sonabox encode at a variable or average bitrate: --vbr and --abr in each channel mode on
two threads with small chunks, the Delete Source check on the results, the choices stored in
the settings file, and the refusals. Results are checked with ffprobe, ffmpeg and mp3val."""
import os
import subprocess
import unittest

from cli_harness import CLI, HOUSE_ENTRY, PLUGGER_ENTRY, CliTest, first_stream, sox_tone

SECONDS = 2.9


def sox_noise(path):
    sox_tone(path, SECONDS, synth=["pinknoise", "vol", "0.3"])


def decoded_samples(path):
    """Samples per channel ffmpeg decodes, honouring the LAME tag's delay and padding."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-"],
                         check=True, capture_output=True).stdout
    return len(raw) // 2 // stream(path)["channels"]


def stream(path):
    facts = first_stream(path)
    return {"channels": int(facts["channels"]), "bit_rate": int(facts["bit_rate"]),
            "codec_name": facts["codec_name"]}


def first_frame_tag(path):
    """"Xing" or "Info" from the first frame after any ID3v2 tag, or None."""
    with open(path, "rb") as f:
        data = f.read(4096)
    at = 0
    if data[:3] == b"ID3":
        at = 10 + (data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9])
        with open(path, "rb") as f:
            f.seek(at)
            data = f.read(400)
        at = 0
    for name in (b"Xing", b"Info"):
        if data.find(name, at, at + 64) >= 0:
            return name.decode()
    return None


class VbrCommandLine(CliTest):
    def setUp(self):
        super().setUp()
        self.out = self.folder("out")
        self.env.update({"SONABOX_ENCODER_THREADS": "2", "SONABOX_ENCODER_CHUNK_FRAMES": "20"})

    def run_cli(self, *args):
        run = self.cli(*args)
        return run.returncode, run.stderr

    def stored(self, codec, bitrate):
        self.settings(f"[ENCODER]\nCodec={codec}\nBitrate={bitrate}\nOutput={self.out}/\n")

    def test_each_mode_is_exact_valid_and_lets_its_source_go(self):
        cases = [("--vbr", "2", "stereo", 2), ("--vbr", "0", "joint", 2),
                 ("--vbr", "5", "mono", 1), ("--vbr", "9", "dual", 2),
                 ("--abr", "192", "stereo", 2), ("--abr", "128", "joint", 2),
                 ("--abr", "64", "mono", 1), ("--abr", "256", "dual", 2)]
        for option, value, mode, channels in cases:
            with self.subTest(option=option, value=value, mode=mode):
                source = self.path(f"{mode}{value}.wav")
                sox_noise(source)
                status, err = self.run_cli("encode", "--encoder", "korvo", option, value,
                                           "--mode", mode, "--delete-source", "--output", "out",
                                           source)
                self.assertEqual(status, 0, err)
                # Delete Source went ahead: the output check found the source's whole length.
                self.assertFalse(os.path.exists(source))
                mp3 = os.path.join(self.out, f"{mode}{value}.mp3")
                self.assertEqual(decoded_samples(mp3), round(SECONDS * 44100))
                self.assertEqual(stream(mp3)["channels"], channels)
                self.assertEqual(first_frame_tag(mp3), "Xing")
                check = subprocess.run(["mp3val", mp3], capture_output=True, text=True).stdout
                self.assertNotIn("WARNING", check)
                self.assertNotIn("ERROR", check)

    def test_a_stored_choice_is_read_back_like_any_bitrate(self):
        sox_noise(self.path("a.wav"))
        cases = [(HOUSE_ENTRY, "VBR V2 (~190 Kbit/s)", "Xing"),
                 # Not in the list: the list's first entry, as for any unknown bitrate.
                 (HOUSE_ENTRY, "VBR V12 (~30 Kbit/s)", "Info"),
                 (PLUGGER_ENTRY, "VBR V2 (~190 Kbit/s)", "Info")]
        for codec, bitrate, tag in cases:
            with self.subTest(codec=codec, bitrate=bitrate):
                self.stored(codec, bitrate)
                status, err = self.run_cli("encode", "a.wav")
                self.assertEqual(status, 0, err)
                mp3 = os.path.join(self.out, "a.mp3")
                self.assertEqual(first_frame_tag(mp3), tag)
                if tag == "Info":
                    self.assertEqual(stream(mp3)["bit_rate"],
                                     48000 if codec == HOUSE_ENTRY else 32000)

    def test_out_of_range_and_misplaced_choices_are_refused(self):
        sox_noise(self.path("a.wav"))
        cases = [(["--vbr", "10"], "--vbr 10: the quality must be 0 to 9"),
                 (["--vbr", "-1"], "--vbr -1: the quality must be 0 to 9"),
                 (["--vbr", "V2"], "--vbr V2: the quality must be 0 to 9"),
                 (["--abr", "7"], "--abr 7: the bitrate must be 8 to 320"),
                 (["--abr", "321"], "--abr 321: the bitrate must be 8 to 320"),
                 (["--vbr", "2", "--bitrate", "128"], "give only one of --bitrate, --vbr and --abr"),
                 (["--vbr", "2", "--abr", "128"], "give only one of --bitrate, --vbr and --abr"),
                 (["--abr", "128", "--layer", "2"], "--abr is for layer 3 only"),
                 (["--vbr", "2", "--encoder", "plugger"], "--vbr 2 is not offered by plugger")]
        for words, said in cases:
            with self.subTest(words=words):
                args = ["encode"] + (["--encoder", "korvo"] if "--encoder" not in words else [])
                status, err = self.run_cli(*args, *words, "--output", "out", "a.wav")
                self.assertEqual(status, 2, err)
                self.assertEqual(err.splitlines()[0], "sonabox: " + said)
        self.assertEqual(os.listdir(self.out), [])

    def test_help_names_the_choices(self):
        run = subprocess.run([CLI, "--help"], capture_output=True, text=True, env=self.env)
        self.assertEqual(run.returncode, 0)
        self.assertRegex(run.stdout + run.stderr, r"--vbr 0\.\.9 +korvo, layer 3")
        self.assertRegex(run.stdout + run.stderr, r"--abr KBPS +korvo, layer 3")


if __name__ == "__main__":
    unittest.main()
