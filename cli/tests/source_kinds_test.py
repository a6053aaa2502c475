#!/usr/bin/env python3
"""Every source kind of the kinds' table through `sonabox encode FOLDER`: the tree walk queues
them, each is encoded and checked against its source's length before --delete-source lets
it go, and a film without sound fails with its reason; a 5.1 source's line says it was mixed
down. Sources are made by ffmpeg."""
import os
import unittest

from cli_harness import CliTest, events_of, ffmpeg_source
TONE = ["-f", "lavfi", "-i", "sine=440:duration=1", "-ac", "2"]
FILM = ["-f", "lavfi", "-i", "testsrc=duration=1:size=32x32:rate=10", "-c:v", "mpeg4"]
KINDS = {"a.m4a": TONE + ["-c:a", "aac"], "b.m4a": TONE + ["-c:a", "alac"],
         "c.wma": TONE + ["-c:a", "wmav2"], "d.wv": TONE, "e.tta": TONE, "f.mka": TONE,
         "g.webm": TONE, "h.mov": TONE + ["-c:a", "pcm_s16le"], "i.mp4": TONE + FILM,
         "j.flac": ["-f", "lavfi", "-i", "sine=440:duration=1", "-af",
                    "aformat=channel_layouts=5.1"],
         "k.mkv": FILM}


class SourceKinds(CliTest):
    def test_a_folder_of_every_kind_is_encoded_checked_and_deleted(self):
        music = self.folder("music")
        for name, arguments in KINDS.items():
            ffmpeg_source(os.path.join(music, name), arguments=arguments)
        run = self.cli("encode", "--json", "--encoder", "korvo", "--output", self.path("out"),
                       "--delete-source", music, timeout=300)
        done = {os.path.basename(e["source"]): e["verdict"]
                for e in events_of(run.stdout) if e["event"] == "done"}
        self.assertEqual(done, {name: "failed" if name == "k.mkv" else "done"
                                for name in KINDS}, run.stderr)
        self.assertIn("/k.mkv holds no audio stream", run.stderr.replace("'", ""))
        self.assertEqual(os.listdir(music), ["k.mkv"])
        self.assertEqual(run.returncode, 1)

    def test_a_file_mixed_down_says_so_on_its_line(self):
        sources = {"wide.flac": KINDS["j.flac"], "stereo.flac": TONE}
        for name, arguments in sources.items():
            ffmpeg_source(self.path(name), arguments=arguments)
        for encoder in ("korvo", "bladeenc", "plugger"):
            with self.subTest(encoder=encoder):
                run = self.cli("encode", "--json", "--encoder", encoder, "--output",
                               self.path(encoder), *sources, timeout=120)
                self.assertEqual(run.returncode, 0, run.stderr)
                lines = {line.split(": ")[0]: line for line in run.stderr.splitlines()
                         if ": done, " in line}
                self.assertEqual(lines["wide.flac"], "wide.flac: done, " + os.path.join(
                    self.dir, encoder, "wide.mp3") + " (mixed down from 6 channels)")
                self.assertEqual(lines["stereo.flac"], "stereo.flac: done, " + os.path.join(
                    self.dir, encoder, "stereo.mp3"))
                self.assertEqual({os.path.basename(e["source"]): e.get("note")
                                  for e in events_of(run.stdout) if e["event"] == "done"},
                                 {"wide.flac": "mixed down from 6 channels",
                                  "stereo.flac": None})


if __name__ == "__main__":
    unittest.main()
