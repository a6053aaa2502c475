#!/bin/sh
# Runs a command in a private desktop session: a D-Bus session bus of its own (which starts the
# accessibility bus on demand), a private runtime folder, Qt's accessibility on, and either an X
# server (Xvfb; with openbox as window manager for x11-openbox) or a headless Wayland compositor
# (weston). Exits 77, the tests' "skipped", saying why, when a part of the session cannot start.
#   desktop-session.sh x11|x11-openbox|wayland command [argument...]
set -eu
kind=$1
shift
skip() {
    echo "SKIPPED: $*"
    exit 77
}
waitFor() { # waitFor test-arguments... : up to 10 seconds
    tries=100
    while ! test "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

if [ -z "${SONABOX_DESKTOP_SESSION:-}" ]; then
    command -v dbus-run-session >/dev/null 2>&1 || skip "dbus-run-session (dbus) is not installed"
    [ -x /usr/libexec/at-spi-bus-launcher ] || skip "the accessibility bus (at-spi2-core) is not installed"
    dbus-run-session -- true 2>/dev/null || skip "a D-Bus session bus cannot start here"
    SONABOX_DESKTOP_SESSION=$(mktemp -d "${TMPDIR:-/tmp}/sonabox-session-XXXXXX")
    export SONABOX_DESKTOP_SESSION
    chmod 700 "$SONABOX_DESKTOP_SESSION"
    export XDG_RUNTIME_DIR="$SONABOX_DESKTOP_SESSION"
    status=0
    dbus-run-session -- sh "$0" "$kind" "$@" || status=$?
    rm -rf "$SONABOX_DESKTOP_SESSION"
    exit "$status"
fi

# Inside the session bus.
run=$SONABOX_DESKTOP_SESSION
servers=""
trap 'for pid in $servers; do kill "$pid" 2>/dev/null || true; done' EXIT
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0 QT_ACCESSIBILITY=1
# What the session's programs cache (openbox's log, font caches) stays in the session, not in
# the user's home.
export XDG_CACHE_HOME="$run/cache"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY DISPLAY

case $kind in
x11 | x11-openbox)
    command -v Xvfb >/dev/null 2>&1 || skip "Xvfb is not installed"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$run/display" 2>"$run/xvfb.log" &
    servers="$servers $!"
    waitFor -s "$run/display" || skip "Xvfb did not start: $(tail -n 1 "$run/xvfb.log")"
    export DISPLAY=":$(head -n 1 "$run/display")" QT_QPA_PLATFORM=xcb
    if [ "$kind" = x11-openbox ]; then
        command -v openbox >/dev/null 2>&1 || skip "openbox is not installed"
        openbox --sm-disable >"$run/openbox.log" 2>&1 &
        servers="$servers $!"
        sleep 0.5
    fi
    ;;
wayland)
    command -v weston >/dev/null 2>&1 || skip "weston is not installed"
    weston --backend=headless-backend.so --use-pixman --socket=wayland-sonabox --idle-time=0 --debug \
        >"$run/weston.log" 2>&1 &
    servers="$servers $!"
    waitFor -S "$run/wayland-sonabox" || skip "weston did not start: $(tail -n 1 "$run/weston.log")"
    export WAYLAND_DISPLAY=wayland-sonabox QT_QPA_PLATFORM=wayland
    ;;
*)
    echo "usage: $0 x11|x11-openbox|wayland command [argument...]" >&2
    exit 2
    ;;
esac

"$@"
