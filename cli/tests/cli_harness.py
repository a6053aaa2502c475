"""What the command-line tests share: the program directory from the command line, the CLI run
in a folder of the test's own (no display, its own settings, home and temporary folder), and
small sources made by sox, ffmpeg and flac, and checks made with ffprobe and mpg123."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

PROGRAM_DIR = os.path.abspath(sys.argv.pop(1))
CLI = os.path.join(PROGRAM_DIR, "sonabox-cli")
LAUNCHER = os.path.join(PROGRAM_DIR, "start-sonabox")
# The settings file's names of two encoders, as the window stores them.
HOUSE_ENTRY = "Korvo   LAME, TwoLAME"
PLUGGER_ENTRY = "Plugger +   built on LAME"
# Root reads every folder whatever its mode; without these capabilities it is denied as others.
NO_OVERRIDE = ["setpriv", "--bounding-set=-dac_override,-dac_read_search",
               "--inh-caps=-dac_override,-dac_read_search"]
RATE = 44100


def cli_environment(folder):
    """The environment of a CLI run below `folder`: no display, and settings, home and temporary
    files of its own there, so that a run that is killed leaves nothing in the system's /tmp."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update(XDG_CONFIG_HOME=os.path.join(folder, "config"), HOME=os.path.join(folder, "home"),
               TMPDIR=os.path.join(folder, "tmp"))
    for name in ("HOME", "TMPDIR"):
        os.makedirs(env[name], exist_ok=True)
    return env


def events_of(stdout):
    """The --json events among the lines of a run's standard output."""
    return [json.loads(line) for line in stdout.splitlines() if line.startswith("{")]


def sox_tone(path, seconds=1.0, frequency=440, channels=2, rate=RATE, synth=None):
    """A 16-bit tone (or another sox `synth` sound, with effects after it) of the kind the
    name's extension says; its folder is made."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    sound = synth or ["sine", str(frequency)]
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", path, "synth",
                    str(seconds), *sound], check=True)


def ffmpeg_source(path, seconds=1, tags=None, arguments=None):
    """A source made by ffmpeg: a 440 Hz tone with the given tags, or what `arguments` say."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    metadata = [w for key, value in (tags or {}).items() for w in ("-metadata", f"{key}={value}")]
    made = arguments or ["-f", "lavfi", "-i", f"sine=frequency=440:duration={seconds}"]
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", *made, *metadata, path], check=True)


def probe(path):
    """ffprobe's streams and format of a file."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of",
                          "json", path], check=True, capture_output=True, text=True,
                         errors="replace").stdout
    return json.loads(out)


def first_stream(path):
    return probe(path)["streams"][0]


def format_tags(path):
    """The file's tags as ffprobe names them."""
    return probe(path)["format"].get("tags", {})


def decoded_frames(mp3, scratch):
    """The frames mpg123 decodes from an MP3 (its encoder delay and padding left out)."""
    subprocess.run(["mpg123", "-q", "-w", scratch, mp3], check=True, capture_output=True)
    frames = int(subprocess.run(["soxi", "-s", scratch], check=True, capture_output=True,
                                text=True).stdout)
    os.remove(scratch)
    return frames


def files_below(top):
    return sorted(os.path.relpath(os.path.join(folder, name), top)
                  for folder, _, names in os.walk(top) for name in names)


# An album kept as one file: three tones, which the sheet below cuts at 1.3 s and 2.4 s (CD
# frames of 588 samples), with a pregap before the second track.
ALBUM_TONES = [(1.3, 300), (1.1, 500), (0.9, 700)]
ALBUM_FRAMES = round(sum(seconds for seconds, _ in ALBUM_TONES) * RATE)
ALBUM_STARTS = [0, RATE + 22 * 588, 2 * RATE + 30 * 588]
ALBUM_SHEET = """REM GENRE Ambient
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
ALBUM_TRACK_NAMES = ["01 One.mp3", "02 Two-Half.mp3", "03 Drei ß.mp3"]


def make_album(path):
    """The three tones as one file at `path`, a WAV or (by flac) a FLAC."""
    folder = os.path.dirname(os.path.abspath(path))
    os.makedirs(folder, exist_ok=True)
    parts = []
    for i, (seconds, frequency) in enumerate(ALBUM_TONES):
        parts.append(os.path.join(folder, f"part{i}.wav"))
        sox_tone(parts[-1], seconds, frequency)
    wav = os.path.join(folder, "album-whole.wav")
    subprocess.run(["sox", *parts, wav], check=True)
    for part in parts:
        os.remove(part)
    if path.endswith(".flac"):
        subprocess.run(["flac", "-s", "-f", "-o", path, wav], check=True)
        os.remove(wav)
    else:
        os.rename(wav, path)


class CliTest(unittest.TestCase):
    """A test with a folder of its own, self.dir, where its CLI runs start and keep their
    settings, home and temporary files (self.env)."""

    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)  # the last clean-up: later ones run first
        self.dir = tmp.name
        self.env = cli_environment(self.dir)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def folder(self, *parts):
        """A folder below the test's folder, made."""
        os.makedirs(self.path(*parts), exist_ok=True)
        return self.path(*parts)

    def settings(self, text):
        """The settings file that the CLI reads its defaults from."""
        os.makedirs(os.path.join(self.env["XDG_CONFIG_HOME"], "sonabox"), exist_ok=True)
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "sonabox", "SBOX.INI"), "w") as f:
            f.write(text)

    def cli(self, *args, program=CLI, prefix=(), cwd=None, timeout=240):
        """A run of the program to its end, its output as text (bytes that are not UTF-8 kept
        as surrogates)."""
        return subprocess.run([*prefix, program, *args], cwd=cwd or self.dir, env=self.env,
                              capture_output=True, text=True, errors="surrogateescape",
                              timeout=timeout)

    def check_album_tracks(self, folder, names, titles, numbered=False):
        """`folder` holds exactly the MP3s `names` of the album make_album made: each decodes to
        its track's frames and all of them to the album's, each tagged with its title (and with
        `numbered`, its number of the three)."""
        self.assertEqual(sorted(os.listdir(folder)), names)
        joined = 0
        for i, name in enumerate(names):
            frames = decoded_frames(os.path.join(folder, name), self.path("decoded.wav"))
            end = ALBUM_STARTS[i + 1] if i + 1 < len(ALBUM_STARTS) else ALBUM_FRAMES
            self.assertEqual(frames, end - ALBUM_STARTS[i], name)
            joined += frames
            if titles:
                found = {k.lower(): v for k, v in format_tags(os.path.join(folder, name)).items()}
                self.assertEqual(found["title"], titles[i])
                if numbered:
                    self.assertEqual(found["track"], f"{i + 1}/3")
        self.assertEqual(joined, ALBUM_FRAMES)

    def start_cli(self, *args, program=CLI, **popen):
        """The program started in the test's folder, for a test that signals it."""
        return subprocess.Popen([program, *args], cwd=self.dir, env=self.env, **popen)
