#!/usr/bin/env python3
"""Names from tags through sonabox-cli: `encode --names PATTERN` places each MP3 by its source's
tags (set with ffmpeg on generated FLAC and WAV files), takes a missing tag from the source's
path, refuses two sources that would share a name and refuses a malformed pattern. The MP3s
are checked with ffprobe."""
import os
import unittest

from cli_harness import CliTest, ffmpeg_source, files_below, probe

PATTERN = "{artist}/{album}/{track:02} {title}"

# Each source below the library, its tags, and where its MP3 goes below the output folder.
LIBRARY = [
    ("in/a.flac", {"artist": "AC/DC", "album": "Back", "title": "Hells Bells", "track": "1/10"},
     "AC_DC/Back/01 Hells Bells.mp3"),
    ("in/deep/b.wav", {"artist": "AC/DC", "album": "Back", "title": "Shoot", "track": "2"},
     "AC_DC/Back/02 Shoot.mp3"),
    ("in/c.flac", {"artist": "Ærø", "album": ".Hidden", "title": "x" * 300, "track": "3"},
     "Ærø/_Hidden/03 " + "x" * 248 + ".mp3"),
    ("Band/Record/04 - untagged.flac", {}, "Band/Record/04 untagged.mp3"),
]


class NamesFromTags(CliTest):
    def setUp(self):
        super().setUp()
        self.lib = os.path.join(self.dir, "lib")
        for source, tags, _ in LIBRARY:
            ffmpeg_source(os.path.join(self.lib, source), 0.5, tags)
        self.out = os.path.join(self.dir, "out")

    def run_cli(self, *args):
        run = self.cli(*args)
        return run.returncode, run.stderr

    def encode(self, *args):
        return self.run_cli("encode", "--encoder", "plugger", "--bitrate", "128", "--names",
                            PATTERN, "--output", self.out, *args)

    def test_each_mp3_is_placed_by_its_tags(self):
        status, err = self.encode("lib")
        self.assertEqual(status, 0, err)
        self.assertEqual(files_below(self.out), sorted(name for _, _, name in LIBRARY))
        for _, tags, name in LIBRARY:
            found = probe(os.path.join(self.out, name))
            self.assertEqual(found["streams"][0]["codec_name"], "mp3")
            self.assertAlmostEqual(float(found["format"]["duration"]), 0.5, delta=0.1)
            self.assertEqual(found["format"].get("tags", {}).get("title"), tags.get("title"))

    def test_two_sources_of_one_name_are_both_refused_and_the_rest_goes_on(self):
        twin = os.path.join(self.lib, "other", "b twin.flac")
        ffmpeg_source(twin, 0.5, LIBRARY[1][1])
        status, err = self.encode("lib")
        self.assertEqual(status, 1, err)
        first = os.path.join(self.lib, LIBRARY[1][0])
        self.assertIn("b.wav: not run: %s gets the same name; neither is converted" % twin, err)
        self.assertIn("b twin.flac: not run: %s gets the same name; neither is converted" % first,
                      err)
        names = [name for _, _, name in LIBRARY if name != LIBRARY[1][2]]
        self.assertEqual(files_below(self.out), sorted(names))

    def test_a_malformed_pattern_is_refused_in_one_line(self):
        for pattern, says in (("{artist}/{titel}", "unknown field {titel}"),
                              ("{track:2} {title}", "the padding of {track:2}"),
                              ("{album}//{title}", "an empty folder name")):
            status, err = self.run_cli("encode", "--encoder", "plugger", "--names", pattern,
                                       "--output", self.out, "lib")
            self.assertEqual(status, 2, err)
            self.assertTrue(err.startswith("sonabox: --names: " + says), err)
            self.assertEqual(len(err.splitlines()), 2, err)  # and "Try 'sonabox --help'."
        self.assertFalse(os.path.exists(self.out))
        status, err = self.run_cli("decode", "--names", PATTERN, "lib")
        self.assertEqual(status, 2)
        self.assertIn("--names is an encode option", err)


if __name__ == "__main__":
    unittest.main()
