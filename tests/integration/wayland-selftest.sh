#!/usr/bin/env bash
# End to end on a headless GNOME session: the self-tests record the virtual
# monitor through the desktop's ScreenCast portal and PipeWire.
#   wayland-selftest.sh /path/to/ventilux <case>   (inside with-desktop.sh --wayland --pulse)
# Cases: timelapse, realtime, compositor-gone. (What a missing or revoked consent does
# is PortalScreenCaptureTest's.)
set -euo pipefail
ventilux=$1
case_name=$2
here=$(dirname "$0")
# shellcheck source=portal-consent.sh
. "$here/portal-consent.sh"
# shellcheck source=../../scripts/lib/app-e2e.sh
. "$here/../../scripts/lib/app-e2e.sh"
cd "$HOME"

result_of() { grep "^$1 RESULT: " "$work/err" | head -n 1 | sed "s/^$1 RESULT: //"; }

# Width, height and frame count of the movie's picture.
picture_of() {
    ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=width,height,nb_read_frames -of csv=p=0 "$1"
}

# The monitor's own picture: the desktop's blue, not a black or empty frame, and
# the animated client moving from one frame to the next.
check_shows_desktop() {
    local movie=$1 brightness distinct
    brightness=$(ffmpeg -v info -i "$movie" -vf "select=eq(n\,1),signalstats,metadata=print" \
        -f null - 2>&1 | sed -n 's/.*lavfi.signalstats.YAVG=\([0-9.]*\).*/\1/p' | head -n 1)
    awk -v y="$brightness" 'BEGIN { exit !(y > 20) }' || fail "frame 1 is dark (Y $brightness)"
    distinct=$(ffmpeg -v error -i "$movie" -map 0:v -f framemd5 - | grep -v '^#' |
        awk -F, '{ print $6 }' | sort -u | wc -l)
    [ "$distinct" -ge 2 ] || fail "every frame is the same"
}

case $case_name in
    timelapse)
        grant_screen_cast
        "$ventilux" --selftest 2>"$work/err" || fail "exit status $?"
        result=$(result_of SELFTEST)
        [[ $result =~ ^Saved\ ([0-9]+)-frame\ time-lapse\ \|\ (/.*\.mp4)$ ]] || fail "result: $result"
        frames=${BASH_REMATCH[1]} movie=${BASH_REMATCH[2]}
        # Opening the cast takes the desktop a moment, and longer on a loaded machine.
        [ "$frames" -ge 2 ] || fail "only $frames frames"
        [ "$(picture_of "$movie")" = "1280,720,$frames" ] || fail "picture $(picture_of "$movie")"
        check_shows_desktop "$movie"
        ;;
    realtime)
        grant_screen_cast
        "$ventilux" --selftest-rt 2>"$work/err" || fail "exit status $?"
        result=$(result_of SELFTEST-RT)
        # The recording's time starts once the desktop has opened the cast.
        [[ $result =~ ^Saved\ 0:0[1-7]\ recording\ \|\ (/.*\.mov)$ ]] || fail "result: $result"
        movie=${BASH_REMATCH[1]}
        IFS=, read -r width height frames < <(picture_of "$movie")
        [ "$width,$height" = "320,180" ] || fail "picture ${width}x$height"
        [ "$frames" -ge 10 ] || fail "only $frames frames"
        check_shows_desktop "$movie"
        ;;
    compositor-gone)
        grant_screen_cast
        : >"$work/err"
        "$ventilux" --selftest-rt 2>"$work/err" &
        recorder=$!
        # Once the movie is being written, the compositor goes as in a crash.
        until grep -q "^SELFTEST-RT:" "$work/err"; do
            kill -0 "$recorder" 2>/dev/null || fail "the self-test ended before recording"
            sleep 0.1
        done
        until ls "$HOME"/Desktop/*.mov >/dev/null 2>&1; do sleep 0.1; done
        kill -KILL "$WITH_DESKTOP_COMPOSITOR_PID"
        wait "$recorder" || fail "exit status $?"
        result=$(result_of SELFTEST-RT)
        [[ $result =~ ^Recording\ failed:\ The\ screen\ cast\ ended:\ .+\ \|\ no-file$ ]] ||
            fail "result: $result"
        ;;
    *)
        fail "no case $case_name"
        ;;
esac
echo "PASS: $case_name"
