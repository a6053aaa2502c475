#!/usr/bin/env python3
"""sonabox sync over an album kept as one FLAC beside its cue sheet: one MP3 per track whose
decodes (mpg123) joined hold exactly the album's samples, nothing converted or opened again
(strace) when nothing changed, the tracks converted again when the sheet changes, the tracks
to the Trash when the album goes, and a sheet that does not fit refused and the file mirrored
whole until the sheet fits."""
import os
import re
import shutil
import unittest

from cli_harness import (ALBUM_FRAMES, ALBUM_SHEET, ALBUM_TRACK_NAMES, CliTest,
                         decoded_frames, format_tags, make_album, sox_tone)

OPTIONS = ["--encoder", "plugger", "--bitrate", "128"]


def summary(converted=0, trashed=0, up=0):
    return ("sync: %d converted, 0 tags updated, 0 copied, 0 album gains updated, %d moved to "
            "the Trash, %d up to date, 0 failed" % (converted, trashed, up))


class SyncCueAlbum(CliTest):
    def setUp(self):
        super().setUp()
        self.env["XDG_DATA_HOME"] = self.path("home", "data")
        make_album(self.path("lib", "Band", "Album.flac"))
        self.write_sheet(ALBUM_SHEET)
        sox_tone(self.path("lib", "single.wav"), 1)
        self.out = self.path("out", "Band")

    def write_sheet(self, text):
        with open(self.path("lib", "Band", "Album.cue"), "w") as f:
            f.write(text.format(file="Album.wav"))

    def sync(self, *args, prefix=()):
        run = self.cli("sync", *OPTIONS, *args, "lib", "out", prefix=prefix, timeout=120)
        self.assertEqual(run.returncode, 0, run.stderr)
        return run.stdout, run.stderr

    def trash(self):
        return sorted(os.listdir(os.path.join(self.env["XDG_DATA_HOME"], "Trash", "files")))

    def check_tracks(self, names, titles):
        self.check_album_tracks(self.out, names, titles)

    def traced_sync(self, *args):
        """A sync under strace: its standard error and the files below the library it opened."""
        if shutil.which("strace") is None:
            self.skipTest("strace is not installed: the opens of the second sync are not counted")
        trace = self.path("trace")
        _, err = self.sync(*args, prefix=["strace", "-f", "-qq", "-e", "trace=openat,open", "-o",
                                          trace])
        with open(trace, errors="surrogateescape") as f:
            opened = re.findall(r'open(?:at)?\(.*?"([^"]*)"', f.read())
        opened = [os.path.normpath(os.path.join(self.dir, p)) for p in opened]
        self.assertGreater(len(opened), 0)  # the trace saw the opens
        lib = self.path("lib")
        return err, [p for p in opened if p.startswith(lib + "/") and os.path.isfile(p)]

    def test_tracks_mirrored_kept_up_to_date_and_trashed_with_their_album(self):
        stdout, _ = self.sync("--dry-run")
        for number, title in ((1, "One"), (2, "Two\u2215Half"), (3, "Drei ß")):
            self.assertIn("convert: Band/Album.flac [%d] %s (new)\n" % (number, title), stdout)
        self.assertFalse(os.path.exists(self.out))
        _, err = self.sync()
        self.assertIn(summary(converted=4), err)
        self.check_tracks(ALBUM_TRACK_NAMES, ["One", "Two/Half", "Drei ß"])

        # Nothing changed: neither the album nor its sheet is opened.
        err, opened = self.traced_sync()
        self.assertIn(summary(up=4), err)
        self.assertEqual(opened, [])
        # Other options make the tracks out of date.
        run = self.cli("sync", "--dry-run", "--encoder", "plugger", "--bitrate", "160", "lib",
                       "out")
        self.assertIn("convert: Band/Album.flac [2] Two\u2215Half "
                      "(the encoder options changed)\n", run.stdout)

        # A track's MP3 lost: the album's tracks are converted together, for one album gain.
        os.remove(os.path.join(self.out, ALBUM_TRACK_NAMES[2]))
        _, err = self.sync()
        self.assertIn(summary(converted=3, up=1), err)
        gains = {format_tags(os.path.join(self.out, name))["REPLAYGAIN_ALBUM_GAIN"]
                 for name in ALBUM_TRACK_NAMES}
        self.assertEqual(len(gains), 1, gains)

        # A new title: the album's tracks are converted again; the old name is kept and named
        # until --delete moves it to the Trash.
        self.write_sheet(ALBUM_SHEET.replace('"One"', '"Uno"'))
        _, err = self.sync()
        self.assertIn(summary(converted=3, up=1) + "; 1 made by a sync without a source now, "
                      "kept (--delete moves them to the Trash): Band/01 One.mp3", err)
        renamed = ["01 Uno.mp3"] + ALBUM_TRACK_NAMES[1:]
        self.assertEqual(sorted(os.listdir(self.out)), sorted(["01 One.mp3", *renamed]))
        _, err = self.sync("--delete")
        self.assertIn(summary(trashed=1, up=4), err)
        self.check_tracks(renamed, ["Uno", "Two/Half", "Drei ß"])
        self.assertEqual(self.trash(), ["01 One.mp3"])

        # The album and its sheet gone: its tracks go to the Trash, and their folder with them.
        for name in ("Album.flac", "Album.cue"):
            os.remove(self.path("lib", "Band", name))
        _, err = self.sync("--delete")
        self.assertIn(summary(trashed=3, up=1), err)
        self.assertFalse(os.path.exists(self.out))
        self.assertEqual(self.trash(), sorted(["01 One.mp3", "Band", *renamed]))
        self.assertEqual(sorted(os.listdir(self.path("out"))), [".sonabox-sync",
                                                                 ".sonabox-sync.lock",
                                                                 "single.mp3"])

    def test_a_sheet_that_does_not_fit_leaves_the_file_whole_until_it_fits(self):
        self.write_sheet(ALBUM_SHEET.replace("00:02:30", "00:09:00"))
        _, err = self.sync()
        self.assertIn("sonabox: warning: Album.flac: track 3 INDEX 01 at 00:09:00 lies beyond "
                      "the end of 'Album.flac'; the file is converted whole\n", err)
        self.assertIn(summary(converted=2), err)
        self.assertEqual(os.listdir(self.out), ["Album.mp3"])
        self.assertEqual(decoded_frames(os.path.join(self.out, "Album.mp3"),
                                        self.path("decoded.wav")), ALBUM_FRAMES)
        # Refused once: the sheet is not read again while it stays as it is.
        _, err = self.sync()
        self.assertNotIn("warning", err)
        self.assertIn(summary(up=2), err)

        self.write_sheet(ALBUM_SHEET)
        _, err = self.sync("--delete")
        self.assertIn(summary(converted=3, trashed=1, up=1), err)
        self.check_tracks(ALBUM_TRACK_NAMES, ["One", "Two/Half", "Drei ß"])
        self.assertEqual(self.trash(), ["Album.mp3"])


if __name__ == "__main__":
    unittest.main()
