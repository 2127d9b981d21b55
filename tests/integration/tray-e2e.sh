#!/usr/bin/env bash
# End to end through the tray: `ventilux` with no arguments puts its item on
# the session bus; this script plays the tray host and the notification server
# (tray-host.py), starts and stops a time-lapse through the menu, and checks
# the notification and the movie; then a SIGTERM during a second recording
# must still leave a playable movie.
#   tray-e2e.sh /path/to/ventilux      (run inside with-desktop.sh --x --dbus)
set -euo pipefail
ventilux=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/app-e2e.sh
source "$here/../../scripts/lib/app-e2e.sh"

xclock -update 1 -geometry 300x300+100+100 >/dev/null 2>&1 &
touch "$work/events"
/usr/bin/python3 "$here/tray-host.py" "$work/events" 2>"$work/host.err" &
within 10 grep -q '"ready"' "$work/events" || fail "the stand-in tray did not start: $(cat "$work/host.err")"

"$ventilux" 2>"$work/err" &
app=$!
within 15 grep -q '"registered"' "$work/events" || fail "the status item never registered"
service=$(grep -o '"registered": "[^"]*"' "$work/events" | tail -n 1 | cut -d'"' -f4)

menu() { gdbus call --session -d "$service" -o /MenuBar -m "com.canonical.dbusmenu.$1" -- "${@:2}"; }
# Opens the menu as a tray does and prints the layout it would show.
open_menu() {
    menu AboutToShow 0 >/dev/null
    menu GetLayout 0 -1 '@as []'
}
id_of() { open_menu | grep -o "(\([0-9]*\), {'label': <'$1'>" | head -n 1 | grep -o '^([0-9]*' | tr -d '('; }
shows() { open_menu | grep -q "'label': <'$1'>"; }
click() {
    local id
    id=$(id_of "$1")
    [ -n "$id" ] || fail "no item \"$1\" in: $(open_menu)"
    menu Event "$id" clicked '<0>' 0 >/dev/null
}
tool_tip() {
    gdbus call --session -d "$service" -o /StatusNotifierItem \
        -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip
}
notified() { grep -q '"summary"' "$work/events"; }

# The first recording: through the countdown, stopped from the menu.
click "Start Time-Lapse"
within 15 shows "Stop Recording" || fail "the recording did not start: $(open_menu)"
tool_tip | grep -q 'recording (click to stop)' || fail "the icon's tool tip: $(tool_tip)"
sleep 3 # the recording's own length: a frame every 2 s
click "Stop Recording"
within 20 notified || fail "no notification after the stop"
line=$(grep '"summary"' "$work/events" | head -n 1)
summary=$(/usr/bin/python3 -c 'import json,sys; print(json.loads(sys.argv[1])["summary"])' "$line")
body=$(/usr/bin/python3 -c 'import json,sys; print(json.loads(sys.argv[1])["body"])' "$line")
[ "$summary" = Ventilux ] || fail "notification title \"$summary\""
[[ $body == "Saved "* ]] || fail "notification body \"$body\""
name=$(tail -n 1 <<<"$body")
[[ $name == Ventilux-*.mp4 ]] || fail "no file name in \"$body\""
movie=$(find "$HOME" -name "$name" -print -quit)
[ -n "$movie" ] || fail "no $name under $HOME"
ffmpeg -v error -i "$movie" -f null - 2>"$work/decode" || fail "ffmpeg cannot read $movie"
[ ! -s "$work/decode" ] || fail "decoding $movie: $(cat "$work/decode")"
within 5 shows "Start Time-Lapse" || fail "the menu did not return to idle"

# The second recording ends with the session: SIGTERM must still save it.
click "Start Time-Lapse"
within 15 shows "Stop Recording" || fail "the second recording did not start"
sleep 3
kill -TERM "$app"
status=0
within 25 bash -c "! kill -0 $app 2>/dev/null" || fail "ventilux still runs 25 s after SIGTERM"
wait "$app" || status=$?
second=$(find "$HOME" -name 'Ventilux-*.mp4' ! -name "$name" -print -quit)
[ -n "$second" ] || fail "no movie from the recording ended by SIGTERM (exit status $status)"
frames=$(ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
    -of csv=p=0 "$second") || fail "ffprobe cannot read $second"
[ "$frames" -ge 1 ] || fail "$second has no frames"
echo "PASS: \"$body\"; after SIGTERM $second with $frames frames (exit status $status)"
