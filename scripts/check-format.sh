#!/bin/sh
# Fails when a tracked C or C++ file differs from what clang-format (.clang-format) makes of it,
# and names the lines. `clang-format -i FILE` formats a file.
set -eu
cd "$(dirname "$0")/.."
format=$(command -v clang-format || command -v clang-format-14 || true)
if [ -z "$format" ]; then
    echo "format: clang-format is missing (scripts/install-test-deps.sh installs it)" >&2
    exit 2
fi
if ! git ls-files -z -- '*.c' '*.cpp' '*.h' | xargs -0 "$format" --dry-run -Werror; then
    echo "format: the files above differ from clang-format's layout" >&2
    exit 1
fi
echo "format: $(git ls-files -- '*.c' '*.cpp' '*.h' | wc -l) files as clang-format lays them out"
