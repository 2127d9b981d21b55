#!/usr/bin/env bash
# ventilux --toggle, --start and --stop as a script or a keyboard shortcut runs
# them: refused in one sentence and within 2 s with no session bus, with no copy
# running, or with another program holding the bus name (answering with an
# error, or never); then taken by a running copy on a desktop that shows no
# tray icons, which records a time-lapse from them and tells the user once how
# to record without a tray.
#   remote-control-e2e.sh /path/to/ventilux      (run inside with-desktop.sh --x --dbus)
set -euo pipefail
ventilux=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/app-e2e.sh
source "$here/../../scripts/lib/app-e2e.sh"

readonly name=lab.quimbry.Ventilux

# Runs one request; leaves its exit status, what it said on standard error and
# how long it took (ms) in $status, $said and $took.
request() {
    local start
    start=$(date +%s%N)
    status=0
    "$@" 2>"$work/said" || status=$?
    took=$((($(date +%s%N) - start) / 1000000))
    said=$(cat "$work/said")
}
refused() {  # the sentence (a glob), then the command line
    local sentence=$1
    shift
    request "$@"
    [ "$status" -eq 1 ] || fail "$* ended with status $status"
    [ "$(wc -l <"$work/said")" -eq 1 ] && [[ $said == $sentence ]] || fail "$* said \"$said\""
    # The call itself gives up after one second; the bound catches a hang, with
    # room for a sanitizer build's slow start.
    [ "$took" -lt 5000 ] || fail "$* took $took ms"
}
taken() {  # the switch
    request "$ventilux" "$1"
    [ "$status" -eq 0 ] && [ -z "$said" ] || fail "$1 ended with status $status: \"$said\""
}
owned() {
    gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
        -m org.freedesktop.DBus.NameHasOwner "$name" | grep -q true
}
is() {  # property, value
    gdbus call --session -d "$name" -o /lab/quimbry/Ventilux \
        -m org.freedesktop.DBus.Properties.Get lab.quimbry.Ventilux1 "$1" | grep -q "<$2>"
}

refused "Ventilux cannot be reached: *" env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY "$ventilux" --toggle
refused "Ventilux is not running in this session." "$ventilux" --toggle
for squatter in "silent:did not answer." "other:is not Ventilux."; do
    /usr/bin/python3 "$here/name-squatter.py" "${squatter%%:*}" >"$work/squatter" 2>&1 &
    within 10 grep -q ready "$work/squatter" || fail "the name squatter did not start: $(cat "$work/squatter")"
    refused "The program that holds $name on the session bus ${squatter#*:}" "$ventilux" --start
    kill $!
    wait $! 2>/dev/null || true
done

mkdir -p "$XDG_CONFIG_HOME/ventilux"
printf 'captureInterval=double:0.5\ncountdownSeconds=int:1\n' >"$XDG_CONFIG_HOME/ventilux/settings.ini"
touch "$work/events"
/usr/bin/python3 "$here/tray-host.py" "$work/events" --no-tray 2>"$work/host.err" &
within 10 grep -q '"ready"' "$work/events" || fail "the notification server did not start: $(cat "$work/host.err")"
"$ventilux" 2>"$work/err" &
within 15 owned || fail "the running copy never took $name"

taken --stop  # idle: nothing to stop
is Recording false || fail "--stop started something"
taken --toggle
within 10 is Recording true || fail "--toggle did not start a recording after the countdown"
taken --start  # recording already: nothing changes
is Recording true || fail "--start stopped the recording"
sleep 2 # the recording's own length: a frame every 0.5 s
taken --stop
within 20 grep -q '"body": "Saved' "$work/events" || fail "no notification of the saved movie"
is Recording false || fail "--stop left it recording"
movie=$(find "$HOME" -name 'Ventilux-*.mp4' -print -quit)
[ -n "$movie" ] || fail "no movie under $HOME"
frames=$(ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
    -of csv=p=0 "$movie") || fail "ffprobe cannot read $movie"
[ "$frames" -ge 2 ] || fail "$movie has $frames frames"

within 10 grep -q 'This desktop shows no tray icons' "$work/events" || fail "the user was not told that no tray shows the icon"
[ "$(grep -c 'no tray icons' "$work/events")" -eq 1 ] || fail "the user was told more than once"
echo "PASS: refusals without a hang; a $frames-frame time-lapse from --toggle and --stop"
