#!/usr/bin/env bash
# End to end on a real X server: `ventilux --selftest` records a time-lapse
# that ffprobe reads back as a finished movie; without a display it says why.
# (The movie writer's own tests check frame times, key frames and crash recovery.)
#   timelapse-selftest.sh /path/to/ventilux      (run inside with-desktop.sh --x)
set -euo pipefail
ventilux=$1
# shellcheck source=../../scripts/lib/app-e2e.sh
source "$(dirname "$0")/../../scripts/lib/app-e2e.sh"

xclock -update 1 -geometry 300x300+100+100 >/dev/null 2>&1 &

"$ventilux" --selftest 2>"$work/err" || fail "exit status $?"
[ "$(head -n 1 "$work/err")" = "SELFTEST: starting capture" ] || fail "first line"
result=$(grep '^SELFTEST RESULT: ' "$work/err") || fail "no result line"
[[ $result =~ ^SELFTEST\ RESULT:\ Saved\ ([0-9]+)-frame\ time-lapse\ \|\ (/.*\.mp4)$ ]] ||
    fail "result line: $result"
frames=${BASH_REMATCH[1]} movie=${BASH_REMATCH[2]}
[ "$frames" -ge 8 ] && [ "$frames" -le 14 ] || fail "$frames frames in about 3 s at 4 a second"

IFS=, read -r codec width height counted < <(ffprobe -v error -select_streams v:0 -count_frames \
    -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 "$movie")
[ "$codec,$width,$height,$counted" = "h264,1920,1080,$frames" ] ||
    fail "movie $codec ${width}x$height with $counted frames"
! LC_ALL=C grep -q -a mvex "$movie" || fail "the finished movie is still fragmented"
[ -z "$(ffmpeg -v error -i "$movie" -f null - 2>&1)" ] || fail "the movie does not decode cleanly"

# Without an X display the run reports the failure and still exits 0.
env -u DISPLAY "$ventilux" --selftest 2>"$work/err" || fail "exit status $? without a display"
grep -q '^SELFTEST RESULT: Could not start: .* | no-file$' "$work/err" || fail "no failure line"
echo "PASS: $frames frames"
