#!/usr/bin/env bash
# The real binary keeps one interactive copy: a second one gives way with the
# log line and status 0, a self-test beside it is not refused, and of two
# copies started together exactly one goes on.
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
logged_twin_lines() {  # the number of twin lines a copy's standard error ($1) or the journal shows
    if system_log_listens; then
        journalctl -q -o cat -t ventilux --since "$since" _PID="$2" | grep -cxF "$twin_line" || true
    else
        grep -cxF "$twin_line" "$1" || true
    fi
}

start_copy() {  # name; sets $started to its pid once the process runs ventilux itself
    "$ventilux" >/dev/null 2>"$work/$1.err" &
    started=$!
    until [ "$(readlink "/proc/$started/exe" 2>/dev/null)" = "$ventilux" ]; do
        kill -0 "$started" 2>/dev/null || fail "the $1 copy ended at once"
        sleep 0.01
    done
}

ends_within_deadline() {  # pid
    local end=$((SECONDS + deadline_seconds))
    while kill -0 "$1" 2>/dev/null; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.05
    done
}

run_second_copy() {  # name; a copy started while another runs must give way
    local status=0
    "$ventilux" >/dev/null 2>"$work/$1.err" &
    local pid=$!
    ends_within_deadline "$pid" || fail "the $1 copy went on"
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "$1 copy ended with status $status"
    [ "$(logged_twin_lines "$work/$1.err" "$pid")" -eq 1 ] || fail "$1 copy did not log the line"
}

# A second interactive copy gives way to the first, which goes on.
start_copy first
first=$started
run_second_copy second
kill -0 "$first" 2>/dev/null || fail "the first copy ended"

# A self-test beside the interactive copy runs its test.
status=0
timeout 60 "$ventilux" --selftest 2>"$work/selftest.err" || status=$?
[ "$status" -eq 0 ] || fail "self-test ended with status $status: $(cat "$work/selftest.err")"
grep -qxF "SELFTEST: starting capture" "$work/selftest.err" || fail "the self-test did not start"
grep -qF "$twin_line" "$work/selftest.err" && fail "the self-test was refused"
kill -0 "$first" 2>/dev/null || fail "the first copy ended beside the self-test"

# A quit request ends the interactive copy with status 0.
kill -TERM "$first"
status=0
wait "$first" || status=$?
[ "$status" -eq 0 ] || fail "the first copy quit with status $status"
[ "$(logged_twin_lines "$work/first.err" "$first")" -eq 0 ] || fail "the first copy gave way"

# Two copies started together: exactly one gives way, whichever saw the other first.
"$ventilux" >/dev/null 2>"$work/left.err" & left=$!
"$ventilux" >/dev/null 2>"$work/right.err" & right=$!
end=$((SECONDS + deadline_seconds))
while kill -0 "$left" 2>/dev/null && kill -0 "$right" 2>/dev/null; do
    [ $SECONDS -lt $end ] || fail "both copies started together went on"
    sleep 0.05
done
if kill -0 "$left" 2>/dev/null; then
    survivor=$left survivor_name=left loser=$right loser_name=right
else
    survivor=$right survivor_name=right loser=$left loser_name=left
fi
status=0
wait "$loser" || status=$?
[ "$status" -eq 0 ] || fail "the copy that gave way ended with status $status"
[ "$(logged_twin_lines "$work/$loser_name.err" "$loser")" -eq 1 ] || fail "no line from the copy that gave way"
# By the time a later copy has come and gone, the survivor has long decided.
run_second_copy third
kill -0 "$survivor" 2>/dev/null || fail "both copies started together gave way"
kill -TERM "$survivor"
wait "$survivor" || true
[ "$(logged_twin_lines "$work/$survivor_name.err" "$survivor")" -eq 0 ] || fail "the survivor logged the line"
echo "single instance: ok"
