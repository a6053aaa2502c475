# Shell functions for the install scripts (sourced, not run).

# as_root COMMAND [ARGUMENT...]: runs the command as root: directly when this is root, else
# through sudo. Fails, saying so, when neither is possible.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "$0: this needs root rights: run it as root (sudo is not installed)" >&2
        return 1
    fi
}

# install_packages PACKAGE...: installs those of the Debian packages that are not installed yet;
# nothing (and no root rights) is needed when all of them are.
install_packages() {
    missing=""
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $package"
    done
    [ -n "$missing" ] || return 0
    echo "Installing:$missing"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update
    # shellcheck disable=SC2086 # one argument per package
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}
