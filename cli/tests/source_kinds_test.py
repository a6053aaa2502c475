#!/usr/bin/env python3
"""Every source kind of the kinds' table through `sonabox encode FOLDER`: the tree walk queues
them, each is encoded and checked against its source's length before --delete-source lets
it go, and a film without sound fails with its reason; a 5.1 source's line says it was mixed
down. Sources are made by ffmpeg."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

PROGRAM_DIR = sys.argv.pop(1)
CLI = os.path.join(PROGRAM_DIR, "sonabox-cli")
TONE = ["-f", "lavfi", "-i", "sine=440:duration=1", "-ac", "2"]
FILM = ["-f", "lavfi", "-i", "testsrc=duration=1:size=32x32:rate=10", "-c:v", "mpeg4"]
KINDS = {"a.m4a": TONE + ["-c:a", "aac"], "b.m4a": TONE + ["-c:a", "alac"],
         "c.wma": TONE + ["-c:a", "wmav2"], "d.wv": TONE, "e.tta": TONE, "f.mka": TONE,
         "g.webm": TONE, "h.mov": TONE + ["-c:a", "pcm_s16le"], "i.mp4": TONE + FILM,
         "j.flac": ["-f", "lavfi", "-i", "sine=440:duration=1", "-af",
                    "aformat=channel_layouts=5.1"],
         "k.mkv": FILM}


class SourceKinds(unittest.TestCase):
    def test_a_folder_of_every_kind_is_encoded_checked_and_deleted(self):
        with tempfile.TemporaryDirectory() as tmp:
            music = os.path.join(tmp, "music")
            os.mkdir(music)
            for name, arguments in KINDS.items():
                subprocess.run(["ffmpeg", "-nostdin", "-v", "error", *arguments,
                                os.path.join(music, name)], check=True)
            env = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
            env["XDG_CONFIG_HOME"] = env["HOME"] = tmp
            run = subprocess.run([CLI, "encode", "--json", "--encoder", "korvo", "--output",
                                  os.path.join(tmp, "out"), "--delete-source", music],
                                 env=env, capture_output=True, text=True, timeout=300)
            events = [json.loads(line) for line in run.stdout.splitlines()
                      if line.startswith("{")]
            done = {os.path.basename(e["source"]): e["verdict"]
                    for e in events if e["event"] == "done"}
            self.assertEqual(done, {name: "failed" if name == "k.mkv" else "done"
                                    for name in KINDS}, run.stderr)
            self.assertIn("/k.mkv holds no audio stream", run.stderr.replace("'", ""))
            self.assertEqual(os.listdir(music), ["k.mkv"])
            self.assertEqual(run.returncode, 1)

    def test_a_file_mixed_down_says_so_on_its_line(self):
        sources = {"wide.flac": KINDS["j.flac"], "stereo.flac": TONE}
        with tempfile.TemporaryDirectory() as tmp:
            for name, arguments in sources.items():
                subprocess.run(["ffmpeg", "-nostdin", "-v", "error", *arguments,
                                os.path.join(tmp, name)], check=True)
            env = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
            env["XDG_CONFIG_HOME"] = env["HOME"] = tmp
            for encoder in ("korvo", "bladeenc", "plugger"):
                with self.subTest(encoder=encoder):
                    run = subprocess.run(
                        [CLI, "encode", "--json", "--encoder", encoder, "--output",
                         os.path.join(tmp, encoder), *sources], cwd=tmp, env=env,
                        capture_output=True, text=True, timeout=120)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    lines = {line.split(": ")[0]: line for line in run.stderr.splitlines()
                             if ": done, " in line}
                    self.assertEqual(lines["wide.flac"], "wide.flac: done, " + os.path.join(
                        tmp, encoder, "wide.mp3") + " (mixed down from 6 channels)")
                    self.assertEqual(lines["stereo.flac"], "stereo.flac: done, " + os.path.join(
                        tmp, encoder, "stereo.mp3"))
                    events = [json.loads(line) for line in run.stdout.splitlines()
                              if line.startswith("{")]
                    self.assertEqual({os.path.basename(e["source"]): e.get("note")
                                      for e in events if e["event"] == "done"},
                                     {"wide.flac": "mixed down from 6 channels",
                                      "stereo.flac": None})


if __name__ == "__main__":
    unittest.main()
