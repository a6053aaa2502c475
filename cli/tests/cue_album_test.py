#!/usr/bin/env python3
"""Albums kept as one file beside a cue sheet, or with the sheet inside a FLAC, through
`sonabox encode`: one MP3 per track, named and tagged from the sheet, whose decodes (mpg123)
joined hold exactly the album's samples; a sheet given by name brings its album's tracks;
sheets that do not fit are refused with the reason and the file is converted whole."""
import os
import subprocess
import unittest

from cli_harness import (ALBUM_FRAMES, ALBUM_SHEET as SHEET, ALBUM_TONES as TONES,
                         ALBUM_TRACK_NAMES as NAMES, CliTest,
                         decoded_frames, events_of, format_tags, make_album, sox_tone)


def run(*args, cwd=None):
    subprocess.run(args, check=True, capture_output=True, cwd=cwd)


def tags(path):
    return {k.lower(): v for k, v in format_tags(path).items()}


class CueAlbum(CliTest):
    def setUp(self):
        super().setUp()
        self.out = self.folder("out")

    def album(self, name):
        """The three tones as one file `name` (WAV or FLAC)."""
        make_album(self.path(name))

    def encode(self, *args, encoder="korvo"):
        run = self.cli("encode", "--json", "--encoder", encoder, "--bitrate", "128", "--output",
                       "out", *args)
        return run.returncode, events_of(run.stdout), run.stderr

    def check_tracks(self, names, titles=None):
        self.check_album_tracks(self.out, names, titles, numbered=True)

    def test_sheet_beside_the_album(self):
        # UTF-8 without a mark, UTF-16 with one, Latin-1; each encoder.
        for encoding, encoder in (("utf-8", "korvo"), ("utf-16", "bladeenc"),
                                  ("latin-1", "plugger")):
            with self.subTest(encoding=encoding, encoder=encoder):
                self.album("Album.flac")
                with open(self.path("Album.cue"), "w", encoding=encoding) as f:
                    f.write(SHEET.format(file="Album.wav"))
                status, events, err = self.encode("Album.flac", encoder=encoder)
                self.assertEqual(status, 0, err)
                self.assertEqual([os.path.basename(e["source"]) for e in events
                                  if e["event"] == "done"],
                                 ["Album.flac [1] One", "Album.flac [2] Two\u2215Half",
                                  "Album.flac [3] Drei ß"])
                self.assertIn("Album.flac [3] Drei ß: done", err)
                self.check_tracks(NAMES, ["One", "Two/Half", "Drei ß"])
                second = tags(os.path.join(self.out, NAMES[1]))
                self.assertEqual((second["artist"], second["album"], second["album_artist"],
                                  second["date"], second["genre"]),
                                 ("Guest", "Tönes", "Band", "2003", "Ambient"))
                self.assertEqual(tags(os.path.join(self.out, NAMES[0]))["artist"], "Band")
                self.assertTrue(os.path.exists(self.path("Album.flac")))
                for name in os.listdir(self.out):
                    os.remove(os.path.join(self.out, name))

    def test_the_sheet_given_by_name(self):
        self.album("Album.flac")
        with open(self.path("Album.cue"), "w") as f:
            f.write(SHEET.format(file="Album.wav"))
        # Alone, and beside its album as `Album.*` gives them: each track comes once.
        for args in (["Album.cue"], ["Album.cue", "Album.flac"]):
            with self.subTest(args=args):
                status, events, err = self.encode(*args)
                self.assertEqual(status, 0, err)
                self.assertEqual([os.path.basename(e["source"]) for e in events
                                  if e["event"] == "done"],
                                 ["Album.flac [1] One", "Album.flac [2] Two\u2215Half",
                                  "Album.flac [3] Drei ß"])
                self.check_tracks(NAMES, ["One", "Two/Half", "Drei ß"])
                for name in os.listdir(self.out):
                    os.remove(os.path.join(self.out, name))
        with open(self.path("Lost.cue"), "w") as f:
            f.write(SHEET.format(file="gone.wav"))
        status, _, err = self.encode("Lost.cue")
        self.assertNotEqual(status, 0)
        self.assertIn("warning: Lost.cue: the cue sheet names 'gone.wav', which is not there",
                      err)
        self.assertEqual(os.listdir(self.out), [])

    def test_sheet_inside_the_flac(self):
        self.album("album.wav")
        with open(self.path("album.cue"), "w") as f:
            f.write(SHEET.format(file="album.wav"))
        # As a CUESHEET block (no texts: the tracks are named by number) and as a comment.
        run("flac", "-s", "--cuesheet=album.cue", "-o", "block.flac", "album.wav", cwd=self.dir)
        run("flac", "-s", "-o", "comment.flac", "album.wav", cwd=self.dir)
        run("metaflac", "--set-tag-from-file=CUESHEET=album.cue", "comment.flac", cwd=self.dir)
        for name in ("album.wav", "album.cue"):
            os.remove(self.path(name))
        status, _, err = self.encode("block.flac")
        self.assertEqual(status, 0, err)
        self.check_tracks(["01 Track 01.mp3", "02 Track 02.mp3", "03 Track 03.mp3"],
                          ["Track 01", "Track 02", "Track 03"])
        for name in os.listdir(self.out):
            os.remove(os.path.join(self.out, name))
        status, _, err = self.encode(".")
        self.assertEqual(status, 0, err)
        self.assertEqual(len(os.listdir(self.out)), 6)

    def test_a_file_per_track(self):
        starts = []
        for i, (seconds, frequency) in enumerate(TONES):
            sox_tone(self.path(f"{i + 1}.wav"), seconds, frequency, channels=1)
        with open(self.path("disc.cue"), "w") as f:
            f.write('TITLE "Disc"\n' + "".join(
                f'FILE "{i}.wav" WAVE\nTRACK 0{i} AUDIO\nTITLE "T{i}"\nINDEX 01 00:00:00\n'
                for i in (1, 2, 3)))
        status, _, err = self.encode(".")
        self.assertEqual(status, 0, err)
        self.assertEqual(sorted(os.listdir(self.out)), ["01 T1.mp3", "02 T2.mp3", "03 T3.mp3"])
        self.assertEqual(tags(self.path("out", "03 T3.mp3"))["album"], "Disc")

    def test_sheets_that_do_not_fit_are_refused(self):
        good = SHEET.format(file="Album.wav")
        cases = [
            (good.replace("00:02:30", "00:09:00"),
             "track 3 INDEX 01 at 00:09:00 lies beyond the end of 'Album.wav'"),
            (good.replace("00:02:30", "00:01:00"),
             "the times are out of order: track 3 INDEX 01 at 00:01:00"),
            (good.replace('FILE "Album.wav" WAVE\n', ""),
             "track 1 comes before any FILE line"),
            (good + 'FILE "gone.wav" WAVE\nTRACK 04 AUDIO\nINDEX 01 00:00:00\n',
             "names 'gone.wav', which is not there"),
        ]
        self.album("Album.wav")
        for sheet, reason in cases:
            with self.subTest(reason=reason):
                with open(self.path("Album.cue"), "w") as f:
                    f.write(sheet)
                status, events, err = self.encode("Album.wav")
                self.assertEqual(status, 0, err)
                warnings = [line for line in err.splitlines() if "warning" in line]
                self.assertEqual(len(warnings), 1, err)
                self.assertIn("Album.wav: ", warnings[0])
                self.assertIn(reason, warnings[0])
                self.assertIn("the file is converted whole", warnings[0])
                self.assertEqual(os.listdir(self.out), ["Album.mp3"])
                self.assertEqual(decoded_frames(self.path("out", "Album.mp3"),
                                                self.path("decoded.wav")), ALBUM_FRAMES)
                os.remove(self.path("out", "Album.mp3"))


if __name__ == "__main__":
    unittest.main()
