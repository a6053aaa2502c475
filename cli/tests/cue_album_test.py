#!/usr/bin/env python3
"""Albums kept as one file beside a cue sheet, or with the sheet inside a FLAC, through
`sonabox encode`: one MP3 per track, named and tagged from the sheet, whose decodes (mpg123)
joined hold exactly the album's samples; a sheet given by name brings its album's tracks;
sheets that do not fit are refused with the reason and the file is converted whole."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

PROGRAM_DIR = sys.argv.pop(1)
CLI = os.path.join(PROGRAM_DIR, "sonabox-cli")
RATE = 44100
# Three tones; the sheet cuts at 1.3 s and 2.4 s (CD frames of 588 samples), with a pregap.
TONES = [(1.3, 300), (1.1, 500), (0.9, 700)]
ALBUM_FRAMES = round(sum(seconds for seconds, _ in TONES) * RATE)
STARTS = [0, RATE + 22 * 588, 2 * RATE + 30 * 588]
SHEET = """REM GENRE Ambient
REM DATE 2003
PERFORMER "Band"
TITLE "Tönes"
FILE "{file}" WAVE
  TRACK 01 AUDIO
    TITLE "One"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Two/Half"
    PERFORMER "Guest"
    INDEX 00 00:01:10
    INDEX 01 00:01:22
  TRACK 03 AUDIO
    TITLE "Drei ß"
    INDEX 01 00:02:30
"""
NAMES = ["01 One.mp3", "02 Two-Half.mp3", "03 Drei ß.mp3"]


def run(*args, cwd=None):
    subprocess.run(args, check=True, capture_output=True, cwd=cwd)


def tags(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags", "-of",
                          "json", path], check=True, capture_output=True, text=True).stdout
    return {k.lower(): v for k, v in json.loads(out)["format"].get("tags", {}).items()}


def decoded_frames(mp3, scratch):
    run("mpg123", "-q", "-w", scratch, mp3)
    frames = int(subprocess.run(["soxi", "-s", scratch], check=True, capture_output=True,
                                text=True).stdout)
    os.remove(scratch)
    return frames


class CueAlbum(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.out = os.path.join(self.dir, "out")
        os.mkdir(self.out)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.dir, "config")
        self.env["HOME"] = self.dir

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def album(self, name):
        """The three tones as one file `name` (WAV or FLAC)."""
        parts = []
        for i, (seconds, frequency) in enumerate(TONES):
            parts.append(self.path(f"part{i}.wav"))
            run("sox", "-n", "-r", str(RATE), "-c", "2", "-b", "16", parts[-1], "synth",
                str(seconds), "sine", str(frequency))
        run("sox", *parts, self.path("album.wav"))
        for part in parts:
            os.remove(part)
        if name.endswith(".flac"):
            run("flac", "-s", "-f", "-o", self.path(name), self.path("album.wav"))
            os.remove(self.path("album.wav"))
        elif name != "album.wav":
            os.rename(self.path("album.wav"), self.path(name))

    def encode(self, *args, encoder="korvo"):
        run = subprocess.run([CLI, "encode", "--json", "--encoder", encoder, "--bitrate", "128",
                              "--output", "out", *args], cwd=self.dir, env=self.env,
                             capture_output=True, text=True, timeout=240)
        events = [json.loads(line) for line in run.stdout.splitlines() if line.startswith("{")]
        return run.returncode, events, run.stderr

    def check_tracks(self, names, titles=None):
        self.assertEqual(sorted(os.listdir(self.out)), names)
        joined = 0
        for i, name in enumerate(names):
            frames = decoded_frames(os.path.join(self.out, name), self.path("decoded.wav"))
            end = STARTS[i + 1] if i + 1 < len(STARTS) else ALBUM_FRAMES
            self.assertEqual(frames, end - STARTS[i], name)
            joined += frames
            if titles:
                found = tags(os.path.join(self.out, name))
                self.assertEqual(found["title"], titles[i])
                self.assertEqual(found["track"], f"{i + 1}/3")
        self.assertEqual(joined, ALBUM_FRAMES)

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
            run("sox", "-n", "-r", str(RATE), "-c", "1", "-b", "16", self.path(f"{i + 1}.wav"),
                "synth", str(seconds), "sine", str(frequency))
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
