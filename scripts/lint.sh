#!/bin/sh
# Runs clang-tidy (the checks of .clang-tidy) over the C and C++ files changed since this branch
# left origin/main, or on main itself (a fresh clone, where origin/main is HEAD) since the
# commit before, uncommitted and new files included. Uses the compile commands of BUILD
# (default build/, which any configure preset writes). Fails on any finding.
#   scripts/lint.sh [BUILD]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
database="$build/compile_commands.json"
if [ ! -f "$database" ]; then
    echo "lint: no $database: configure first (cmake --preset release)" >&2
    exit 2
fi
tidy=$(command -v clang-tidy || command -v clang-tidy-14 || true)
if [ -z "$tidy" ]; then
    echo "lint: clang-tidy is missing (scripts/install-test-deps.sh installs it)" >&2
    exit 2
fi
jobs=$(nproc 2>/dev/null || echo 2)

head=$(git rev-parse HEAD)
base=""
for main in origin/main main; do
    base=$(git merge-base HEAD "$main" 2>/dev/null || true)
    [ -z "$base" ] || break
done
if [ -z "$base" ] || [ "$base" = "$head" ]; then
    base=$(git rev-parse -q --verify 'HEAD~1^{commit}' || true)
fi
if [ -z "$base" ]; then
    echo "lint: no earlier commit to compare with (a shallow clone?): nothing linted"
    exit 0
fi

changed=$( (git diff --name-only --diff-filter=d "$base" -- '*.c' '*.cpp' '*.h'
    git ls-files --others --exclude-standard -- '*.c' '*.cpp' '*.h') | sort -u)
if [ -z "$changed" ]; then
    echo "lint: no C or C++ file changed since $(git rev-parse --short "$base")"
    exit 0
fi

# The sources to check: the changed ones that the build compiles, and for a changed header its
# own source or else the first source that includes it. Findings in headers are shown for the
# changed headers only.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
# A unity build compiles its sources through generated files that include them: each included
# source gets its unity file's command in a database of our own, as if compiled alone.
python3 -c 'import json, re, sys
entries = []
for entry in json.load(open(sys.argv[1])):
    unity = entry["file"]
    if not re.search(r"/Unity/unity_[0-9]+_c(xx)?\.c(xx)?$", unity):
        entries.append(entry)
        continue
    for source in re.findall(r"^#include \"(.+)\"$", open(unity).read(), re.M):
        alone = dict(entry, file=source)
        if "command" in entry:
            alone["command"] = entry["command"].replace(unity, source)
        if "arguments" in entry:
            alone["arguments"] = [a.replace(unity, source) for a in entry["arguments"]]
        entries.append(alone)
json.dump(entries, open(sys.argv[2], "w"), indent=1)
for entry in entries:
    print(entry["file"])' "$database" "$work/compile_commands.json" | sort -u >"$work/compiled"
root=$(pwd)
quote_regex() { printf '%s' "$1" | sed 's/[].[\*^$()+?{}|]/\\&/g'; }
headers=""
for file in $changed; do
    case "$file" in
    *.h)
        headers="$headers${headers:+|}$(quote_regex "$file")"
        source=""
        for sibling in "${file%.h}.cpp" "${file%.h}.c"; do
            if grep -qxF "$root/$sibling" "$work/compiled"; then
                source="$root/$sibling"
                break
            fi
        done
        if [ -z "$source" ]; then
            # shellcheck disable=SC2046 # one word per compiled file
            source=$(grep -lF "#include \"$file\"" $(cat "$work/compiled") 2>/dev/null |
                head -n 1 || true)
        fi
        [ -n "$source" ] && echo "$source" >>"$work/sources"
        [ -n "$source" ] || echo "lint: $file: no compiled source includes it, not checked"
        ;;
    *)
        if grep -qxF "$root/$file" "$work/compiled"; then
            echo "$root/$file" >>"$work/sources"
        else
            echo "lint: $file: not compiled in $build, not checked"
        fi
        ;;
    esac
done
if [ ! -s "$work/sources" ]; then
    echo "lint: nothing compiled changed since $(git rev-parse --short "$base")"
    exit 0
fi
sort -u "$work/sources" -o "$work/sources"
echo "lint: clang-tidy over $(wc -l <"$work/sources") files changed since" \
    "$(git rev-parse --short "$base")"
# .clang-tidy makes every finding an error, so clang-tidy fails and so does xargs. The
# compiler's own warnings are the build's business (its -Werror is not the linter's).
status=0
xargs -P "$jobs" -n 1 "$tidy" -p "$work" --quiet --extra-arg=-Wno-error \
    --header-filter="^$(quote_regex "$root")/(${headers:-^\$})\$" <"$work/sources" \
    >"$work/findings" 2>&1 || status=$?
grep -v -E '^[0-9]+ warnings? generated\.$' "$work/findings" || true
if [ "$status" -ne 0 ]; then
    echo "lint: clang-tidy found problems (see above)" >&2
    exit 1
fi
echo "lint: no findings"
