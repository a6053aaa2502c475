#!/bin/sh
# Installs the Debian package that `cmake --build build --target package` made, with the
# packages it depends on. As root, or through sudo for another user.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib/packages.sh
set -- build/sonabox_*.deb
[ -f "$1" ] || {
    echo "$0: no package in build/: run cmake --build build --target package first" >&2
    exit 1
}
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "./$1"
