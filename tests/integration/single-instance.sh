#!/usr/bin/env bash
# The real binary keeps one interactive copy: a second one gives way with the
# log line and status 0, and the first goes on. (Which of two copies started
# together goes on is AppDelegateTest's; how copies are found, LinuxRunningApps'.)
#   single-instance.sh /path/to/ventilux      (run inside with-desktop.sh --x)
set -euo pipefail
ventilux=$(readlink -f "$1")
# shellcheck source=../../scripts/lib/app-e2e.sh
source "$(dirname "$0")/../../scripts/lib/app-e2e.sh"

readonly twin_line="Ventilux: another instance is already running; exiting this one."

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

"$ventilux" >/dev/null 2>"$work/first.err" &
first=$!
until [ "$(readlink "/proc/$first/exe" 2>/dev/null)" = "$ventilux" ]; do
    kill -0 "$first" 2>/dev/null || fail "the first copy ended at once"
    sleep 0.01
done

"$ventilux" >/dev/null 2>"$work/second.err" &
second=$!
within 20 bash -c "! kill -0 $second 2>/dev/null" || fail "the second copy went on"
status=0
wait "$second" || status=$?
[ "$status" -eq 0 ] || fail "the second copy ended with status $status"
[ "$(logged_twin_lines second "$second")" -eq 1 ] || fail "the second copy did not log the line"
kill -0 "$first" 2>/dev/null || fail "the first copy ended"
[ "$(logged_twin_lines first "$first")" -eq 0 ] || fail "the first copy logged the line"
echo "single instance: ok"
