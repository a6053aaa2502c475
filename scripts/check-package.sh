#!/bin/sh
# Checks the Debian package that `cmake --build build --target package` made: the desktop entry,
# the AppStream metainfo and lintian. Run as root on a machine without Sonabox installed, it also
# installs the package, starts `sonabox` from another folder, and removes the package again,
# checking that no installed file is left behind.
#   scripts/check-package.sh [build/sonabox_<version>_<arch>.deb]
set -eu
cd "$(dirname "$0")/.."
deb=$(readlink -f "${1:-$(ls build/sonabox_*.deb | tail -n 1)}")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }
installed() { dpkg-query -W -f '${Status}' sonabox 2>/dev/null | grep -q 'ok installed'; }

dpkg-deb -x "$deb" "$tmp/root"
desktop-file-validate "$tmp"/root/usr/share/applications/*.desktop
appstreamcli validate --no-net "$tmp"/root/usr/share/metainfo/*.metainfo.xml
status=0
lintian --fail-on error "$deb" >"$tmp/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$tmp/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian reports errors"

if [ "$(id -u)" -ne 0 ] || installed; then
    echo "check-package: not root, or sonabox already installed: install test skipped"
    exit 0
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$tmp/apt.log" 2>&1 ||
    { cat "$tmp/apt.log"; fail "the package does not install"; }
dpkg -L sonabox >"$tmp/files"
desktop-file-validate /usr/share/applications/io.github.sonabox.Sonabox.desktop
[ -f /usr/share/icons/hicolor/scalable/apps/io.github.sonabox.Sonabox.svg ] || fail "no icon"
[ "$(command -v sonabox)" = /usr/bin/sonabox ] || fail "no sonabox command"

# The program must run in its own directory and have loaded its decoder library: without it,
# it would show a message box at start.
mkdir "$tmp/elsewhere"
(cd "$tmp/elsewhere" && XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=offscreen \
    exec sonabox >"$tmp/run.log" 2>&1) &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || { cat "$tmp/run.log"; fail "sonabox ended at start"; }
cwd=$(readlink "/proc/$pid/cwd")
loaded=$(grep -c /usr/lib/sonabox/libmpegdll.so "/proc/$pid/maps" || true)
kill "$pid"
{ wait "$pid"; } 2>/dev/null || true
[ "$cwd" = /usr/lib/sonabox ] || fail "sonabox runs in $cwd, not in its own directory"
[ "$loaded" -gt 0 ] || fail "sonabox did not load /usr/lib/sonabox/libmpegdll.so"
echo "check-package: sonabox started in $cwd with its decoder library loaded"

DEBIAN_FRONTEND=noninteractive apt-get remove -y -q sonabox >"$tmp/apt.log" 2>&1 ||
    { cat "$tmp/apt.log"; fail "the package does not remove"; }
left=$(while read -r path; do
    if [ -L "$path" ] || [ -f "$path" ]; then echo "$path"; fi
done <"$tmp/files")
[ -z "$left" ] || fail "left behind after removal: $left"
for dir in /usr/lib/sonabox /usr/share/doc/sonabox; do
    [ ! -e "$dir" ] || fail "left behind after removal: $dir"
done
dpkg-query -W sonabox >/dev/null 2>&1 && fail "dpkg still knows sonabox after removal"
echo "check-package: installed, started and removed cleanly"
