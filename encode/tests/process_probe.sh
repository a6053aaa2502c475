#!/bin/sh
# A program for the runner's tests: it reports how it was started, then behaves as its
# environment tells it to.
#   PROBE_ARGS_FILE   receives the arguments, each ended by a NUL
#   PROBE_STATE_FILE  receives "pid sid" and, on the next line, the working directory
#   PROBE_STDOUT, PROBE_STDERR  are written to standard output and standard error
#   PROBE_SLEEP_MS    milliseconds to wait; PROBE_DONE_FILE is created after the wait
#   PROBE_EXIT        the exit code; PROBE_CRASH=1 ends by SIGABRT instead
if [ -n "${PROBE_ARGS_FILE-}" ]; then
    : >"$PROBE_ARGS_FILE"
    for argument in "$@"; do printf '%s\000' "$argument" >>"$PROBE_ARGS_FILE"; done
fi
if [ -n "${PROBE_STATE_FILE-}" ]; then
    read -r pid _ _ _ _ sid _ </proc/$$/stat
    printf '%s %s\n%s\n' "$pid" "$sid" "$(pwd -P)" >"$PROBE_STATE_FILE"
fi
printf '%s' "${PROBE_STDOUT-}"
printf '%s' "${PROBE_STDERR-}" >&2
if [ -n "${PROBE_SLEEP_MS-}" ]; then
    sleep "$((PROBE_SLEEP_MS / 1000)).$(printf '%03d' $((PROBE_SLEEP_MS % 1000)))"
fi
if [ -n "${PROBE_DONE_FILE-}" ]; then echo "done" >"$PROBE_DONE_FILE"; fi
if [ "${PROBE_CRASH-}" = 1 ]; then kill -ABRT $$; fi
exit "${PROBE_EXIT:-0}"
