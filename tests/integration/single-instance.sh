#!/usr/bin/env bash
# The real binary keeps one interactive copy: a second one gives way with the
# log line and status 0, and of two copies started together exactly one goes on.
#   single-instance.sh /path/to/ventilux      (run inside with-desktop.sh --x)
set -euo pipefail
ventilux=$(readlink -f "$1")
work=$(mktemp -d)
trap 'kill -KILL $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

readonly twin_line="Ventilux: another instance is already running; exiting this one."
readonly deadline_seconds=20

# With no system log listening the line goes to standard error; with one, to it.
system_log_listens() { [ -S /dev/log ] || [ -S /run/systemd/journal/socket ]; }
if system_log_listens && ! command -v journalctl >/dev/null; then
    echo "SKIP: a system log listens here and cannot be read back" >&2
    exit 77
fi
since=$(date '+%Y-%m-%d %H:%M:%S')
logged_twin_lines() {  # name pid; the twin lines of that copy's standard error or journal
    if system_log_listens; then
        journalctl -q -o cat -t ventilux --since "$since" _PID="$2" | grep -cxF "$twin_line" || true
    else
        grep -cxF "$twin_line" "$work/$1.err" || true
    fi
}

start_copy() {  # name; leaves its pid in $started
    "$ventilux" >/dev/null 2>"$work/$1.err" &
    started=$!
}

gives_way() {  # name pid; the copy must end within the deadline, with status 0 and the line
    local end=$((SECONDS + deadline_seconds)) status=0
    while kill -0 "$2" 2>/dev/null; do
        [ $SECONDS -lt $end ] || fail "the $1 copy went on"
        sleep 0.05
    done
    wait "$2" || status=$?
    [ "$status" -eq 0 ] || fail "the $1 copy ended with status $status"
    [ "$(logged_twin_lines "$1" "$2")" -eq 1 ] || fail "the $1 copy did not log the line"
}

# A second interactive copy gives way to the first, which goes on.
start_copy first
first=$started
until [ "$(readlink "/proc/$first/exe" 2>/dev/null)" = "$ventilux" ]; do
    kill -0 "$first" 2>/dev/null || fail "the first copy ended at once"
    sleep 0.01
done
start_copy second
gives_way second "$started"
kill -0 "$first" 2>/dev/null || fail "the first copy ended"
kill -TERM "$first"
wait "$first" || true
[ "$(logged_twin_lines first "$first")" -eq 0 ] || fail "the first copy gave way"

# Two copies started together: exactly one gives way, whichever saw the other first.
start_copy left
left=$started
start_copy right
right=$started
end=$((SECONDS + deadline_seconds))
while kill -0 "$left" 2>/dev/null && kill -0 "$right" 2>/dev/null; do
    [ $SECONDS -lt $end ] || fail "both copies started together went on"
    sleep 0.05
done
if kill -0 "$left" 2>/dev/null; then
    gives_way right "$right"
    survivor=$left
else
    gives_way left "$left"
    survivor=$right
fi
# By the time a later copy has come and gone, the survivor has long decided.
start_copy third
gives_way third "$started"
kill -0 "$survivor" 2>/dev/null || fail "both copies started together gave way"
echo "single instance: ok"
