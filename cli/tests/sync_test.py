#!/usr/bin/env python3
"""sonabox sync on a generated library of one-second sources: the tree mirrored exactly (Unicode,
awkward and non-UTF-8 names, a link loop, an unreadable folder), nothing converted or opened
again when nothing changed, lossy sources and covers copied byte for byte, --dry-run, --delete
into a private Trash, the refusals, a second sync at once, syncs killed with SIGKILL, and names
from tags. Audio is checked with ffprobe, mpg123 and mp3val; source opens with strace."""
import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from cli_harness import (CLI, LAUNCHER, NO_OVERRIDE, CliTest, ffmpeg_source,
                         format_tags as tags, sox_tone as tone)

OPTIONS = ["--encoder", "plugger", "--bitrate", "128"]
RECORD = (".sonabox-sync", ".sonabox-sync.lock")

# Each source below the library and its output below DEST; copies keep their name.
LIBRARY = {
    "top.wav": "top.mp3",
    "Ärtist \"Q\"/Album's One/01 x.flac": "Ärtist \"Q\"/Album's One/01 x.mp3",
    "Ärtist \"Q\"/Album's One/02 y.wav": "Ärtist \"Q\"/Album's One/02 y.mp3",
    "Ärtist \"Q\"/Album's One/Folder.PNG": "Ärtist \"Q\"/Album's One/Folder.PNG",
    "Ärtist \"Q\"/Album's One/CD 2/01 x.flac": "Ärtist \"Q\"/Album's One/CD 2/01 x.mp3",
    "Ärtist \"Q\"/zweites Album/01 x.wav": "Ärtist \"Q\"/zweites Album/01 x.mp3",
    "b side/ #1 ¿ .wav": "b side/ #1 ¿ .mp3",
    "b side/lossy.mp3": "b side/lossy.mp3",
    "caf\udce9/01.wav": "caf\udce9/01.mp3",  # the byte 0xE9 alone: not UTF-8
}
ENCODED = [s for s, o in LIBRARY.items() if s != o]
ENCODED_OUTPUTS = [LIBRARY[s] for s in ENCODED]


def tagged(path, **tags):
    """A one-second source with the given tags, made by ffmpeg."""
    ffmpeg_source(path, 1, tags)


def seconds(path):
    return float(subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration",
                                 "-of", "csv=p=0", path], check=True, capture_output=True,
                                text=True, errors="replace").stdout)


def summary(converted=0, tags=0, copied=0, gains=0, trashed=0, up=0):
    return ("sync: %d converted, %d tags updated, %d copied, %d album gains updated, %d moved to "
            "the Trash, %d up to date" % (converted, tags, copied, gains, trashed, up))


def audio_frames(path):
    """The MP3's bytes between its ID3v2 tag and its ID3v1 tag."""
    with open(path, "rb") as f:
        data = f.read()
    start = 10 + (data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9]) \
        if data.startswith(b"ID3") else 0
    return data[start:len(data) - 128 if data[-128:-125] == b"TAG" else len(data)]


def snapshot(top):
    """Every entry below top, hidden ones too, with its size and time."""
    found = {}
    for folder, folders, names in os.walk(top):
        for name in folders + names:
            path = os.path.join(folder, name)
            info = os.lstat(path)
            found[os.path.relpath(path, top)] = (info.st_size, info.st_mtime_ns)
    return found


def outputs(top):
    return sorted(p for p in snapshot(top) if os.path.isfile(os.path.join(top, p))
                  and os.path.basename(p) not in RECORD)


def make_library(lib):
    for source in LIBRARY:
        path = os.path.join(lib, source)
        wav = path.rsplit(".", 1)[0] + ".wav"
        if source.endswith(".PNG"):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(b"\x89PNG not really")
            continue
        tone(wav)
        if source.endswith(".flac"):
            subprocess.run(["flac", "-s", "--delete-input-file", "-o", path, wav], check=True)
        elif source.endswith(".mp3"):
            subprocess.run(["lame", "--silent", wav, path], check=True)
            os.remove(wav)
    os.symlink("..", os.path.join(lib, "Ärtist \"Q\"", "loop"))
    # A link into DEST: what it leads to are outputs, not sources.
    os.symlink("../../out", os.path.join(lib, "b side", "to out"))


class Sync(CliTest):
    @classmethod
    def setUpClass(cls):
        cls.library = tempfile.TemporaryDirectory()
        make_library(os.path.join(cls.library.name, "lib"))

    @classmethod
    def tearDownClass(cls):
        cls.library.cleanup()

    def setUp(self):
        super().setUp()
        self.env["XDG_DATA_HOME"] = self.path("home", "data")
        self.lib, self.out = self.path("lib"), self.path("out")
        # Each test's own copy, times and links as they are.
        shutil.copytree(os.path.join(self.library.name, "lib"), self.lib, symlinks=True)

    def sync(self, *args, prefix=(), options=OPTIONS, program=CLI):
        run = self.cli("sync", *options, *args, prefix=prefix, program=program, timeout=120)
        return run.returncode, run.stdout, run.stderr

    def synced(self, *args, **kw):
        status, out, err = self.sync(*args, "lib", "out", **kw)
        self.assertEqual(status, 0, err)
        return out, err

    def assert_whole(self):
        """Every source has its output, and every MP3 decodes whole with its source's length."""
        self.assertEqual(outputs(self.out), sorted(LIBRARY.values()))
        for source, output in LIBRARY.items():
            path = os.path.join(self.out, output)
            if source == output:
                with open(path, "rb") as a, open(os.path.join(self.lib, source), "rb") as b:
                    self.assertEqual(a.read(), b.read(), output)
                continue
            check = subprocess.run(["mp3val", path], capture_output=True, text=True,
                                   errors="replace").stdout
            self.assertNotRegex(check, r"(?m)^(WARNING|ERROR)", check)
            self.assertAlmostEqual(seconds(path), 1.0, delta=0.06, msg=output)

    def test_the_tree_is_mirrored_and_a_second_sync_opens_no_source(self):
        locked = os.path.join(self.lib, "b side", "locked")
        tone(os.path.join(locked, "l.wav"))
        os.chmod(locked, 0)
        self.addCleanup(os.chmod, locked, 0o755)
        prefix = []
        if os.getuid() == 0:
            if subprocess.run([*NO_OVERRIDE, "ls", locked], capture_output=True).returncode == 0:
                self.skipTest("running as root, and setpriv cannot drop the capabilities that "
                              "override folder permissions here")
            prefix = NO_OVERRIDE
        _, err = self.synced(prefix=prefix)
        self.assertIn("sonabox: warning: the folder %s is skipped: Permission denied" % locked,
                      err)
        self.assertIn(summary(converted=7, copied=2), err)
        self.assert_whole()
        before = snapshot(self.out)

        err, sources = self.traced_sync(prefix=prefix)
        self.assertIn(summary(up=9), err)
        self.assertIn("the folder %s is skipped: it lies inside DEST"
                      % os.path.join(self.lib, "b side", "to out"), err)
        self.assertEqual(snapshot(self.out), before)
        self.assertEqual(sources, [])

    def traced_sync(self, *args, prefix=()):
        """A sync under strace: its standard error and the files below the library it opened."""
        if shutil.which("strace") is None:
            self.skipTest("strace is not installed: the opens of the second sync are not counted")
        trace = self.path("trace")
        _, err = self.synced(*args, prefix=["strace", "-f", "-qq", "-e", "trace=openat,open", "-o",
                                            trace, *prefix])
        with open(trace, errors="surrogateescape") as f:
            opened = re.findall(r'open(?:at)?\(.*?"([^"]*)"', f.read())
        opened = [os.path.normpath(os.path.join(self.dir, p)) for p in opened]
        self.assertGreater(len(opened), 0)  # the trace saw the opens
        return err, [p for p in opened if p.startswith(self.lib + "/") and os.path.isfile(p)]

    def test_names_from_tags_follow_a_changed_tag_and_twins_are_refused(self):
        shutil.rmtree(self.lib)
        sources = {"one/a.flac": ("Ärtist", "Erstes", 1, "One"),
                   "two/b.wav": ("Ärtist", "Erstes", 2, "Two"),
                   "two/c.flac": ("Band", "Live", 3, "Three")}
        for source, (artist, album, track, title) in sources.items():
            tagged(os.path.join(self.lib, source), artist=artist, album=album, track=track,
                   title=title)
        names = ["--names", "{artist}/{album}/{track:02} {title}"]
        _, err = self.synced(*names)
        self.assertIn(summary(converted=3), err)
        expected = ["Ärtist/Erstes/01 One.mp3", "Ärtist/Erstes/02 Two.mp3",
                    "Band/Live/03 Three.mp3"]
        self.assertEqual(outputs(self.out), sorted(expected))
        for mp3 in expected:
            wav = self.path("decoded.wav")
            subprocess.run(["mpg123", "-q", "-w", wav, os.path.join(self.out, mp3)], check=True)
            self.assertAlmostEqual(seconds(wav), 1.0, delta=0.06, msg=mp3)
        err, opened = self.traced_sync(*names)
        self.assertIn(summary(up=3), err)
        self.assertEqual(opened, [])

        # A new title, the audio as it was: the MP3 takes the new name, the old one is trashed.
        before = snapshot(self.out)
        subprocess.run(["metaflac", "--remove-tag=TITLE", "--set-tag=TITLE=Uno",
                        os.path.join(self.lib, "one", "a.flac")], check=True)
        _, err = self.synced("--delete", *names)
        self.assertIn(summary(converted=1, trashed=1, up=2), err)
        renamed = sorted(["Ärtist/Erstes/01 Uno.mp3", *expected[1:]])
        self.assertEqual(outputs(self.out), renamed)
        self.assertEqual(os.listdir(os.path.join(self.env["XDG_DATA_HOME"], "Trash", "files")),
                         ["01 One.mp3"])
        after = snapshot(self.out)
        for mp3 in expected[1:]:
            self.assertEqual(after[mp3], before[mp3], mp3)

        # Two new sources whose tags give one name: both told, neither written.
        for source in ("three/d.wav", "three/e.flac"):
            tagged(os.path.join(self.lib, source), artist="Band", album="Live", track=5,
                   title="Same")
        status, _, err = self.sync(*names, "lib", "out")
        self.assertEqual(status, 1, err)
        for source in ("three/d.wav", "three/e.flac"):
            self.assertIn("%s is left out: another source has the output name Band/Live/05 Same.mp3"
                          % source, err)
        self.assertEqual(outputs(self.out), renamed)

    def test_options_changed_shown_by_a_dry_run_that_changes_nothing(self):
        self.synced()
        before = snapshot(self.out)
        stdout, _ = self.synced("--dry-run", options=["--encoder", "plugger", "--bitrate", "160"])
        self.assertEqual(snapshot(self.out), before)
        cases = [("convert", s + " (the encoder options changed)") for s in ENCODED] + \
                [("up to date", s) for s in LIBRARY if s not in ENCODED]
        for action, name in cases:
            self.assertIn("%s: %s\n" % (action, name), stdout)
        # A new source and a removed one, as a dry run tells them with --delete.
        tone(os.path.join(self.lib, "new", "n.wav"))
        os.remove(os.path.join(self.lib, "top.wav"))
        stdout, err = self.synced("--dry-run", "--delete")
        self.assertIn("convert: new/n.wav (new)\n", stdout)
        self.assertIn("move to the Trash: top.mp3\n", stdout)
        self.assertIn("1 to convert, 0 to update tags, 0 to copy, 0 album gains to update, 1 to "
                      "move to the Trash, 8 up to date", err)
        self.assertEqual(snapshot(self.out), before)
        self.assertFalse(os.path.exists(self.env["XDG_DATA_HOME"]))

        _, err = self.synced(options=["--encoder", "plugger", "--bitrate", "160"])
        self.assertIn("sync: 7 converted, 0 tags updated, 0 copied", err)
        self.assertIn("top.mp3", err)  # without --delete: named, kept
        self.assertTrue(os.path.exists(os.path.join(self.out, "top.mp3")))
        # MPEG sources coded again rather than copied.
        options = ["--encoder", "plugger", "--bitrate", "160", "--transcode-lossy"]
        stdout, _ = self.synced("--dry-run", options=options)
        self.assertIn("convert: b side/lossy.mp3 (--transcode-lossy changed)\n", stdout)
        self.synced(options=options)
        lossy = os.path.join(self.out, "b side", "lossy.mp3")
        with open(lossy, "rb") as a, open(os.path.join(self.lib, "b side", "lossy.mp3"), "rb") as b:
            self.assertNotEqual(a.read(), b.read())
        rate = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=bit_rate",
                               "-of", "csv=p=0", lossy], capture_output=True, text=True).stdout
        self.assertEqual(rate.strip(" ,\n"), "160000")

    def test_delete_moves_outputs_without_source_to_the_trash_and_nothing_else(self):
        self.synced()
        mine = {"b side/mine.txt": b"mine", "zz.mp3": b"not made by a sync"}
        for name, data in mine.items():
            with open(os.path.join(self.out, name), "wb") as f:
                f.write(data)
        gone = ["Ärtist \"Q\"/Album's One/CD 2/01 x.flac", "Ärtist \"Q\"/zweites Album/01 x.wav",
                "b side/lossy.mp3"]
        # An output that the user changed after the sync made it stays, named.
        changed = os.path.join(self.out, LIBRARY["top.wav"])
        with open(changed, "ab") as f:
            f.write(b"mine now")
        os.remove(os.path.join(self.lib, "top.wav"))
        for source in gone:
            os.remove(os.path.join(self.lib, source))
        _, err = self.synced("--delete")
        self.assertIn(summary(trashed=3, up=5), err)
        self.assertIn("; 1 without a source now but changed since a sync made them, kept: "
                      "top.mp3", err)
        self.assertEqual(outputs(self.out), sorted(
            [LIBRARY[s] for s in LIBRARY if s not in gone] + list(mine)))
        for name, data in mine.items():
            with open(os.path.join(self.out, name), "rb") as f:
                self.assertEqual(f.read(), data)
        # The two folders that held only such files went with them.
        self.assertFalse(os.path.exists(os.path.join(self.out, "Ärtist \"Q\"/zweites Album")))
        trash = os.path.join(self.env["XDG_DATA_HOME"], "Trash")
        # Two files named "01 x.mp3": the second gets a number.
        expected = {"01 x.mp3", "01 x.mp3.2", "lossy.mp3", "CD 2", "zweites Album"}
        self.assertEqual(set(os.listdir(os.path.join(trash, "files"))), expected)
        self.assertEqual(set(os.listdir(os.path.join(trash, "info"))),
                         {n + ".trashinfo" for n in expected})
        paths = set()
        for name in expected:
            with open(os.path.join(trash, "info", name + ".trashinfo")) as f:
                lines = f.read().splitlines()
            self.assertEqual(lines[0], "[Trash Info]")
            self.assertRegex(lines[2], r"^DeletionDate=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")
            self.assertTrue(lines[1].startswith("Path=/"))
            paths.add(urllib.parse.unquote(lines[1][5:]))
        self.assertEqual(paths, {os.path.join(self.out, LIBRARY[s]) for s in gone} |
                         {os.path.join(self.out, "Ärtist \"Q\"/Album's One/CD 2"),
                          os.path.join(self.out, "Ärtist \"Q\"/zweites Album")})
        # Nothing is left to do, and the files that sync did not make are not named.
        _, err = self.synced("--delete")
        self.assertTrue(err.endswith(summary(up=5) + ", 0 failed; 1 without a source now but "
                                     "changed since a sync made them, kept: top.mp3\n"), err)

    def test_tags_only_and_album_gain(self):
        self.synced()
        album = os.path.join(self.out, "Ärtist \"Q\"", "Album's One")
        flac = os.path.join(self.lib, "Ärtist \"Q\"", "Album's One", "01 x.flac")
        mp3 = os.path.join(album, "01 x.mp3")
        frames = audio_frames(mp3)
        gain = tags(mp3)["REPLAYGAIN_ALBUM_GAIN"]
        subprocess.run(["metaflac", "--set-tag=TITLE=Neuer Titel", flac], check=True)
        _, err = self.synced()
        self.assertIn(summary(tags=1, up=8), err)
        self.assertEqual(tags(mp3)["title"], "Neuer Titel")
        self.assertEqual(tags(mp3)["REPLAYGAIN_ALBUM_GAIN"], gain)
        self.assertEqual(audio_frames(mp3), frames)

        # A quieter second track: converted again, and the first gets the album's new gain,
        # the one that encoding the album as it is now gives.
        subprocess.run(["sox", "-v", "0.5", os.path.join(self.lib, "top.wav"),
                        os.path.join(self.lib, "Ärtist \"Q\"", "Album's One", "02 y.wav")],
                       check=True)
        _, err = self.synced()
        self.assertIn(summary(converted=1, gains=1, up=8), err)
        self.assertEqual(audio_frames(mp3), frames)
        status = self.cli("encode", *OPTIONS, "--output", self.path("ref"), flac,
                          flac.replace("01 x.flac", "02 y.wav")).returncode
        self.assertEqual(status, 0)
        expected = tags(self.path("ref", "01 x.mp3"))["REPLAYGAIN_ALBUM_GAIN"]
        self.assertNotEqual(expected, gain)
        for name in ("01 x.mp3", "02 y.mp3"):
            self.assertEqual(tags(os.path.join(album, name))["REPLAYGAIN_ALBUM_GAIN"], expected)

    def test_a_failing_source_is_reported_the_rest_goes_on_and_it_is_tried_again(self):
        with open(os.path.join(self.lib, "b side", "bad.wav"), "wb") as f:
            f.write(b"RIFF\x10\x00\x00\x00WAVEjunk" + bytes(64))
        for args in ([], ["--json"]):
            status, out, err = self.sync(*args, "lib", "out")
            self.assertEqual(status, 1, err)
            self.assertIn("bad.wav: failed: ", err)
            self.assertRegex(err, r"sync: \d converted, .*, 1 failed\n$")
        # The second time only it is converted, and --json tells it as encode does.
        events = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([(e["event"], e.get("verdict")) for e in events if "verdict" in e],
                         [("done", "failed")])
        self.assertEqual(events[-2]["event"], "batch")
        self.assertEqual((events[-1]["event"], events[-1]["failed"], events[-1]["upToDate"]),
                         ("sync", 1, 9))
        self.assertEqual(outputs(self.out), sorted(LIBRARY.values()))
        self.assert_whole()

    def test_refusals(self):
        os.makedirs(self.path("ro"))
        os.chmod(self.path("ro"), 0o555)
        open(self.path("file"), "w").close()
        cases = [("lib", "lib", "DEST lib is SOURCE itself"),
                 ("lib", "lib/b side/out", "DEST lib/b side/out lies inside SOURCE lib"),
                 ("lib/b side", "lib", "SOURCE lib/b side lies inside DEST lib"),
                 ("lib", "ro", "DEST ro cannot be written"),
                 ("lib", "file", "DEST file is not a folder"),
                 ("nothing", "out", "SOURCE nothing is not a readable folder")]
        for source, dest, why in cases:
            with self.subTest(dest=dest):
                # Through the sonabox command, which hands sync to sonabox-cli.
                status, _, err = self.sync(source, dest, prefix=NO_OVERRIDE, program=LAUNCHER)
                self.assertEqual((status, err), (2, "sonabox: sync: %s\n" % why))
        self.assertFalse(os.path.exists(self.out))
        self.assertEqual(os.listdir(self.path("ro")), [])

    def test_a_second_sync_into_one_dest_refuses(self):
        os.mkdir(self.out)
        with open(os.path.join(self.out, ".sonabox-sync.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)  # as a running sync holds it
            status, _, err = self.sync("lib", "out")
            self.assertEqual((status, err),
                             (2, "sonabox: sync: another sync is writing into %s\n" % self.out))
        self.assertEqual(outputs(self.out), [])
        # A real sync running: the second one waits for nothing and changes nothing.
        first = self.start_cli("sync", *OPTIONS, "lib", "out", stderr=subprocess.PIPE)
        for line in first.stderr:
            if line.startswith(b"Encoding 1 of"):
                break
        status, _, err = self.sync("lib", "out")
        self.assertEqual((status, err),
                         (2, "sonabox: sync: another sync is writing into %s\n" % self.out))
        first.stderr.read()
        first.stderr.close()
        self.assertEqual(first.wait(), 0)
        self.assert_whole()

    def mounted(self, size):
        """DEST on a small file system of its own (root only)."""
        if os.getuid() != 0:
            self.skipTest("a file system of its own for DEST needs root (mount)")
        os.mkdir(self.out)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s" % size, "tmpfs", self.out],
                          capture_output=True).returncode != 0:
            self.skipTest("tmpfs cannot be mounted here")
        self.addCleanup(subprocess.run, ["umount", "-l", self.out])

    def test_a_full_disk_stops_the_sync_cleanly(self):
        self.mounted("100k")
        status, _, err = self.sync("lib", "out")
        self.assertEqual(status, 1, err)
        self.assertRegex(err, r"; stopped: .*No space left on device")
        made = [p for p in outputs(self.out) if p.endswith(".mp3")]
        self.assertLess(len(made), len(ENCODED) + 1)
        for mp3 in made:
            self.assertAlmostEqual(seconds(os.path.join(self.out, mp3)), 1.0, delta=0.06)
        subprocess.run(["mount", "-o", "remount,size=4m", self.out], check=True)
        self.synced()
        self.assert_whole()

    def test_delete_on_another_file_system_uses_its_own_trash(self):
        self.mounted("4m")
        self.synced()
        os.remove(os.path.join(self.lib, "top.wav"))
        self.synced("--delete")
        trash = os.path.join(self.out, ".Trash-%d" % os.getuid())
        self.assertEqual(os.stat(trash).st_mode & 0o777, 0o700)
        self.assertEqual(os.listdir(os.path.join(trash, "files")), ["top.mp3"])
        with open(os.path.join(trash, "info", "top.mp3.trashinfo")) as f:
            self.assertIn("\nPath=%s\n" % urllib.parse.quote(os.path.join(self.out, "top.mp3")),
                          f.read())
        self.assertFalse(os.path.exists(self.env["XDG_DATA_HOME"]))

    def test_ctrl_c_ends_the_running_file_cleanly(self):
        run = self.start_cli("sync", *OPTIONS, "lib", "out", stderr=subprocess.PIPE)
        for line in run.stderr:
            if line.startswith(b"Encoding 3 of"):
                run.send_signal(signal.SIGINT)
                break
        run.stderr.read()
        run.stderr.close()
        self.assertEqual(run.wait(), 130)
        for mp3 in outputs(self.out):
            if mp3.endswith(".mp3") and mp3 in ENCODED_OUTPUTS:
                self.assertAlmostEqual(seconds(os.path.join(self.out, mp3)), 1.0, delta=0.06)
        _, err = self.synced()
        self.assertRegex(err, r"sync: [1-5] converted")
        self.assert_whole()

    def test_killed_syncs_leave_whole_files_and_the_next_one_finishes(self):
        for moment in (0.15, 0.4, 0.8, 1.2):
            with self.subTest(moment=moment):
                run = self.start_cli("sync", *OPTIONS, "lib", "out", stderr=subprocess.DEVNULL,
                                     start_new_session=True)
                time.sleep(moment)
                os.killpg(run.pid, signal.SIGKILL)  # the sync and its encoders at once
                run.wait()
        _, err = self.synced()
        self.assert_whole()
        self.assertIn(summary(up=9), self.synced()[1])


if __name__ == "__main__":
    unittest.main()
