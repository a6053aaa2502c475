#!/usr/bin/python3
"""Sonabox as a screen reader meets it, through the real accessibility stack (AT-SPI).

Run inside tests/support/desktop-session.sh (a private session bus and an X or Wayland
display). It starts the built program in a copy of its program directory, lists every control
of the main window, the directory chooser, the encoding progress window and the summary box
with its role and name, and fails on a control without a name, on two buttons of one window
with the same name, or on a control of the wrong role. Then it works the window as a screen
reader user does: it switches pages with the tabs' actions, queues WAV files by selecting them
and pressing ">>", and presses Encode; the MP3 files that appear are checked with ffprobe.

usage: accessibility_test.py PROGRAM_DIR SCREENSHOT_DIR
Exits 77 (skipped) when pyatspi or the audio tools are missing.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77

try:
    import pyatspi
except ImportError:
    print("SKIPPED: python3-pyatspi is not installed")
    sys.exit(SKIP)
for tool in ("sox", "ffprobe"):
    if not shutil.which(tool):
        print(f"SKIPPED: {tool} is not installed")
        sys.exit(SKIP)

# The roles of the controls a user works, as AT-SPI names them.
CONTROLS = {"push button", "list", "combo box", "check box", "text", "entry", "page tab", "link"}

# Controls that must be there with this role: the role is checked by finding them.
EXPECTED_MAIN = [
    ("page tab", "Encode (wav 2 mp3)"),
    ("page tab", "Configure"),
    ("push button", "Add the selected WAV files to the encode queue"),
    ("push button", "Remove the selected files from the decode queue"),
    ("push button", "Play the selected WAV file"),
    ("push button", "Play the selected file of the encode queue"),
    ("push button", "Stop the selected MP3 file"),
    ("push button", "Encode the queued WAV files"),
    ("push button", "Decode the queued MP3 files"),
    ("push button", "Choose the output directory of the MP3 files"),
    ("list", "WAV files in the folder"),
    ("list", "Folders of the MP3 file browser"),
    ("list", "Files to encode"),
    ("list", "Files to decode"),
    ("check box", "Show encoder while encoding"),
    ("text", "Bitrate"),
    ("link", "LAME MP3 encoder"),
    ("link", "team@sonabox.example"),
]

# The WAV files encoded, and their length: the progress windows stay up a few seconds in all.
TONES = ["tone1", "tone2", "tone3", "tone4"]
SECONDS = 60

failures = []


def fail(text):
    failures.append(text)
    print("FAIL:", text)


def wait_for(what, probe, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    raise TimeoutError(f"timed out waiting for {what}")


def walk(node):
    """The node and everything below it, leaving out the entries of lists."""
    yield node
    if node.getRoleName() in ("list", "list item", "table cell", "popup menu", "menu"):
        return
    for child in node:
        if child is not None:
            yield from walk(child)


def labelled_by(node):
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def check_window(window, expected=()):
    """Lists the window's controls and checks their names; returns {(role, name): node}."""
    print(f"window {window.getRoleName()} {window.name!r}:")
    controls = {}
    buttons = {}
    for node in walk(window):
        role = node.getRoleName()
        if role not in CONTROLS:
            continue
        name = node.name
        extra = ""
        if role == "combo box":
            # Where AT-SPI asks, a combo box's name is its text; its purpose is its description
            # or its label.
            purpose = node.description or ", ".join(labelled_by(node))
            extra = f" (for: {purpose!r})"
            if not purpose:
                fail(f"combo box {name!r} does not say what it is for")
        print(f"  {role:12} {name!r}{extra}")
        if not name.strip():
            fail(f"a {role} without a name in {window.name!r}")
        if role == "push button":
            if name in buttons:
                fail(f"two buttons named {name!r} in {window.name!r}")
            buttons[name] = node
        controls[(role, name)] = node
    for role, name in expected:
        if (role, name) not in controls:
            fail(f"no {role} named {name!r} in {window.name!r}")
    return controls


def press(node):
    actions = node.queryAction()
    names = [actions.getName(i).lower() for i in range(actions.nActions)]
    for wanted in ("press", "click", "toggle"):
        if wanted in names:
            actions.doAction(names.index(wanted))
            return
    raise RuntimeError(f"{node.name!r} has no press action ({names})")


def focused(node):
    return node.getState().contains(pyatspi.STATE_FOCUSED)


def screenshot(folder, name):
    """A picture of the whole screen through the display's own tools, where they are."""
    path = os.path.join(folder, name)
    try:
        if os.environ.get("WAYLAND_DISPLAY") and shutil.which("weston-screenshooter"):
            subprocess.run(["weston-screenshooter"], cwd=folder, check=False, timeout=20)
            shots = sorted(f for f in os.listdir(folder) if f.startswith("wayland-screenshot"))
            if shots:
                os.replace(os.path.join(folder, shots[-1]), path)
        elif os.environ.get("DISPLAY") and shutil.which("import"):
            subprocess.run(["import", "-window", "root", path], check=False, timeout=20)
    except subprocess.TimeoutExpired:
        print(f"no screenshot {name}: the screenshot tool did not answer")


def make_world(program_dir, root):
    """A copy of the program directory, a folder with one WAV file and one broken one after it, an
    output folder and settings that point the browsers and the outputs there."""
    program = os.path.join(root, "program")
    shutil.copytree(program_dir, program, symlinks=True)
    wavs = os.path.join(root, "wavs")
    out = os.path.join(root, "out")
    os.makedirs(wavs)
    os.makedirs(out)
    # Long enough for the progress window to be looked at while it is up (one encoder thread).
    for name in TONES:
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16",
                        os.path.join(wavs, name + ".wav"), "synth", str(SECONDS), "sine", "440"],
                       check=True)
    with open(os.path.join(wavs, "unreadable.wav"), "wb") as broken:
        broken.write(b"RIFF\x04\x00\x00\x00WAVE")
    config = os.path.join(root, "config", "sonabox")
    os.makedirs(config)
    with open(os.path.join(config, "SBOX.INI"), "w") as settings:
        settings.write(f"[ENCODER]\nCodec=Korvo   LAME, TwoLAME\nMode=Joint Stereo\n"
                       f"Bitrate= 128 Kbit/s\nLayer=Layer III\nDelsource=0\nShowEnc=0\n"
                       f"Output={out}/\n[DECODER]\nOutput={out}/\n"
                       f"[DIRECTORIES]\nEncoder={wavs}\nDecoder={wavs}\n")
    return program, out


def application(process):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == process.pid and app.childCount:
                return app
        except Exception:
            pass
    return None


def window_named(app, prefix):
    for window in app:
        try:
            if window is not None and window.name.startswith(prefix) and \
                    window.getState().contains(pyatspi.STATE_SHOWING):
                return window
        except Exception:  # a window that has gone away meanwhile
            pass
    return None


def main():
    program_dir, screenshots = sys.argv[1], sys.argv[2]
    os.makedirs(screenshots, exist_ok=True)
    platform = os.environ.get("QT_QPA_PLATFORM", "?")
    scale = os.environ.get("QT_SCALE_FACTOR", "1")
    root = tempfile.mkdtemp(prefix="sonabox-a11y-")
    process = None
    try:
        program, out = make_world(program_dir, root)
        environment = dict(os.environ, XDG_CONFIG_HOME=os.path.join(root, "config"),
                           HOME=root, SDL_AUDIODRIVER="dummy", SONABOX_ENCODER_THREADS="1")
        process = subprocess.Popen(["./sonabox"], cwd=program, env=environment)
        app = wait_for("the program on the accessibility bus", lambda: application(process))
        main_window = wait_for("the main window", lambda: window_named(app, "Velara's Sonabox"))
        print(f"{platform}: the main window maps: {main_window.name!r}")
        controls = check_window(main_window, EXPECTED_MAIN)

        # Page switches through the tabs' actions.
        # The tab list is named after the page shown.
        for tab in ("Configure", "Encode (wav 2 mp3)"):
            press(controls[("page tab", tab)])
            wait_for(f"the {tab} page",
                     lambda: controls[("page tab", tab)].parent.name == tab, 10)
        print("page switch: Configure, then Encode")
        screenshot(screenshots, f"a11y-{platform}-main-{scale}x.png")

        # The directory chooser, opened and cancelled through its buttons' actions.
        press(controls[("push button", "Choose the output directory of the MP3 files")])
        chooser = wait_for("the directory chooser", lambda: window_named(app, "Choose directory"))
        chooser_controls = check_window(chooser, [("push button", "Choose the folder shown"),
                                                  ("list", "Folders")])
        press(chooser_controls[("push button", "Cancel")])
        wait_for("the chooser to close", lambda: window_named(app, "Choose directory") is None)

        # Queue both files: select them in the file list and press >>.
        files = controls[("list", "WAV files in the folder")]
        wait_for("the WAV files listed", lambda: files.childCount >= 2, 10)
        table = files.queryTable()
        for row in range(table.nRows):
            table.addRowSelection(row)
        press(controls[("push button", "Add the selected WAV files to the encode queue")])
        queue = controls[("list", "Files to encode")]
        wait_for("the queued files", lambda: queue.childCount == len(TONES) + 1, 10)

        press(controls[("push button", "Encode the queued WAV files")])
        # Each file has a progress window of its own: look at whichever is up, again where it
        # closes while it is looked at.
        for attempt in range(len(TONES)):
            progress = wait_for("a progress window", lambda: window_named(app, "Encoding..."))
            try:
                progress_controls = check_window(progress, [("push button", "Cancel encoding")])
                cancel = progress_controls[("push button", "Cancel encoding")]
                screenshot(screenshots, f"a11y-{platform}-progress-{scale}x.png")
                if platform == "wayland":
                    # A headless compositor has no keyboard: no window of it becomes active.
                    print("focus on Cancel not checked: the headless compositor activates no window")
                else:
                    wait_for("the focus on Cancel", lambda: focused(cancel), 2)
                    print("the progress window has the focus on Cancel")
                break
            except Exception as error:
                print(f"the progress window closed while looked at ({error}): the next one")
        else:
            fail("no progress window stayed up long enough to be looked at")

        summary = wait_for("the summary of the broken file", lambda: window_named(app, "Error"),
                           240)
        summary_controls = check_window(summary, [("push button", "OK")])
        press(summary_controls[("push button", "OK")])

        for name in TONES:
            mp3 = os.path.join(out, name + ".mp3")
            wait_for(mp3, lambda: os.path.exists(mp3), 10)
            probe = json.loads(subprocess.run(
                ["ffprobe", "-v", "error", "-show_streams", "-of", "json", mp3],
                capture_output=True, check=True, text=True).stdout)
            stream = probe["streams"][0]
            duration = float(stream["duration"])
            print(f"encoded {name}.mp3: {stream['codec_name']}, {stream['channels']} channels, "
                  f"{duration:.2f} s")
            if stream["codec_name"] != "mp3" or abs(duration - SECONDS) > 0.2:
                fail(f"{name}.mp3 is not the {SECONDS} s MP3 expected: {stream}")
    finally:
        if process is not None:
            process.terminate()
            process.wait(timeout=20)
        shutil.rmtree(root, ignore_errors=True)
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("all controls named, no nameless control")
    return 0


if __name__ == "__main__":
    sys.exit(main())
