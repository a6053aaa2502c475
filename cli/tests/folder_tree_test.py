#!/usr/bin/env python3
"""Folder trees through sonabox-cli: a library of three levels with Unicode and awkward names, a
dot folder and a loop of symbolic links is encoded into the same tree and decoded back; an
unreadable folder is named and skipped. Results are checked with ffprobe."""
import os
import shutil
import subprocess
import unittest

from cli_harness import NO_OVERRIDE, CliTest, files_below, first_stream as probe, sox_tone

# Each source below the library, and the place of its output below the output folder.
LIBRARY = {
    "top.wav": "top.mp3",
    "Ärtist \"Q\"/Album's One/01 x.flac": "Ärtist \"Q\"/Album's One/01 x.mp3",
    "Ärtist \"Q\"/Album's One/02 y.wav": "Ärtist \"Q\"/Album's One/02 y.mp3",
    "Ärtist \"Q\"/Album's One/CD 2/01 x.flac": "Ärtist \"Q\"/Album's One/CD 2/01 x.mp3",
    "Ärtist \"Q\"/zweites Album/01 x.flac": "Ärtist \"Q\"/zweites Album/01 x.mp3",
    "b side/01 x.wav": "b side/01 x.mp3",
}


class FolderTrees(CliTest):
    def setUp(self):
        super().setUp()
        self.lib = self.path("lib")
        for source in LIBRARY:
            os.makedirs(os.path.dirname(os.path.join(self.lib, source)), exist_ok=True)
            wav = os.path.join(self.lib, source.replace(".flac", ".wav"))
            sox_tone(wav, 0.5)
            if source.endswith(".flac"):
                subprocess.run(["flac", "-s", "--delete-input-file", wav, "-o",
                                os.path.join(self.lib, source)], check=True)
        # A dot folder is left out; a link back up the tree is visited no more.
        os.mkdir(os.path.join(self.lib, ".hidden"))
        shutil.copy(os.path.join(self.lib, "top.wav"), os.path.join(self.lib, ".hidden", "h.wav"))
        os.symlink("../..", os.path.join(self.lib, "Ärtist \"Q\"", "loop"))

    def run_cli(self, *args, prefix=()):
        run = self.cli(*args, prefix=prefix)
        return run.returncode, run.stderr

    def test_the_tree_is_mirrored_into_a_new_output_folder_and_decoded_back(self):
        out = self.path("new", "mp3")  # not there yet: made
        status, err = self.run_cli("encode", "--encoder", "plugger", "--bitrate", "128",
                                   "--output", out, "lib")
        self.assertEqual(status, 0, err)
        self.assertEqual(files_below(out), sorted(LIBRARY.values()))
        for mp3 in LIBRARY.values():
            stream = probe(os.path.join(out, mp3))
            self.assertEqual(stream["codec_name"], "mp3")
            self.assertAlmostEqual(float(stream["duration"]), 0.5, delta=0.1)

        wavs = self.path("wavs")
        status, err = self.run_cli("decode", "--output", wavs, out)
        self.assertEqual(status, 0, err)
        self.assertEqual(files_below(wavs), sorted(m[:-3] + "WAV" for m in LIBRARY.values()))
        for mp3 in LIBRARY.values():
            self.assertEqual(probe(os.path.join(wavs, mp3[:-3] + "WAV"))["codec_name"],
                             "pcm_s16le")

    def test_a_folder_that_cannot_be_made_fails_its_files_only(self):
        out = self.path("out")
        os.mkdir(out)
        with open(os.path.join(out, "b side"), "w") as f:
            f.write("a file where a folder should go")
        status, err = self.run_cli("encode", "--encoder", "plugger", "--bitrate", "128",
                                   "--output", out, "lib")
        self.assertEqual(status, 1, err)
        self.assertIn("01 x.wav: the folder %s could not be made" % os.path.join(out, "b side"),
                      err)
        self.assertEqual(len(files_below(out)), len(LIBRARY))  # five MP3s and the blocking file
        # An output path that is a file is still refused.
        status, err = self.run_cli("encode", "--encoder", "plugger", "--output",
                                   os.path.join(out, "b side"), "lib")
        self.assertEqual(status, 2)
        self.assertIn("is not a folder", err)

    def test_an_unreadable_folder_is_named_once_and_skipped(self):
        locked = os.path.join(self.lib, "b side", "locked")
        os.mkdir(locked)
        shutil.copy(os.path.join(self.lib, "top.wav"), os.path.join(locked, "l.wav"))
        os.chmod(locked, 0)
        self.addCleanup(os.chmod, locked, 0o755)
        prefix = []
        if os.getuid() == 0:
            probe_run = subprocess.run([*NO_OVERRIDE, "ls", locked], capture_output=True)
            if probe_run.returncode == 0 or shutil.which("setpriv") is None:
                self.skipTest("running as root, and root cannot be made to be refused a folder "
                              "here (setpriv could not drop the capabilities that override "
                              "folder permissions)")
            prefix = NO_OVERRIDE
        out = self.path("out")
        status, err = self.run_cli("encode", "--encoder", "plugger", "--bitrate", "128",
                                   "--output", out, "lib", prefix=prefix)
        self.assertEqual(status, 0, err)
        warnings = [line for line in err.splitlines() if locked in line]
        self.assertEqual(warnings, ["sonabox: warning: the folder %s is skipped: Permission denied"
                                    % locked])
        self.assertEqual(files_below(out), sorted(LIBRARY.values()))


if __name__ == "__main__":
    unittest.main()
