#!/usr/bin/env bash
# End to end on a real X server: `ventilux --selftest` records a time-lapse
# that ffprobe reads back frame by frame; without a display it says why.
#   timelapse-selftest.sh /path/to/ventilux      (run inside with-desktop.sh --x)
set -euo pipefail
ventilux=$1
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

xclock -update 1 -geometry 300x300+100+100 >/dev/null 2>&1 &

status=0
"$ventilux" --selftest 2>"$work/err" || status=$?
cat "$work/err"
[ "$status" -eq 0 ] || fail "exit status $status"
[ "$(head -n 1 "$work/err")" = "SELFTEST: starting capture" ] || fail "first line"
result=$(grep '^SELFTEST RESULT: ' "$work/err") || fail "no result line"
[[ $result =~ ^SELFTEST\ RESULT:\ Saved\ ([0-9]+)-frame\ time-lapse\ \|\ (/.*\.mp4)$ ]] ||
    fail "result line: $result"
frames=${BASH_REMATCH[1]}
movie=${BASH_REMATCH[2]}
[ -f "$movie" ] || fail "no movie at $movie"
[ "$frames" -ge 8 ] && [ "$frames" -le 14 ] || fail "$frames frames in about 3 s at 4 a second"

IFS=, read -r codec width height counted < <(ffprobe -v error -select_streams v:0 -count_frames \
    -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 "$movie")
[ "$codec" = h264 ] || fail "codec $codec"
[ $((width % 2)) -eq 0 ] && [ $((height % 2)) -eq 0 ] || fail "odd size ${width}x${height}"
[ "$counted" -eq "$frames" ] || fail "ffprobe counts $counted frames, the message $frames"

# Frame k at k/30 s, and a key frame at least every 30 frames.
ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,flags -of csv=p=0 "$movie" |
    sort -t, -k1,1g >"$work/packets"
awk -F, -v n="$frames" '
    { k = NR - 1
      if (($1 - k / 30) ^ 2 > 1e-8) { print "frame " k " at " $1; bad = 1 }
      if ($2 ~ /K/) last = k
      if (k - last >= 30) { print "no key frame for 30 frames at " k; bad = 1 } }
    END { if (NR != n) { print NR " packets"; bad = 1 }; exit bad }' "$work/packets" ||
    fail "frame times or key frames"
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$movie")
awk -v d="$duration" -v n="$frames" 'BEGIN { exit !((d - n / 30) ^ 2 < 0.0001) }' ||
    fail "duration $duration for $frames frames"
! LC_ALL=C grep -q -a mvex "$movie" || fail "the finished movie is still fragmented"
ffmpeg -v error -i "$movie" -f null - 2>"$work/decode"
[ ! -s "$work/decode" ] || fail "decoding: $(cat "$work/decode")"

# A kill -9 mid-recording leaves a movie that plays up to its last frame, and
# the next start turns it into an ordinary one.
rm -f "$HOME"/Desktop/Ventilux-*.mp4
"$ventilux" --selftest 2>/dev/null &
victim=$!
count_frames() {
    ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
        -of csv=p=0 "$1" 2>/dev/null || echo 0
}
crashed=""
for _ in $(seq 100); do
    crashed=$(ls "$HOME"/Desktop/Ventilux-*.mp4 2>/dev/null | head -n 1 || true)
    [ -n "$crashed" ] && [ "$(count_frames "$crashed")" -ge 3 ] && break
    sleep 0.1
done
kill -9 "$victim"
wait "$victim" 2>/dev/null || true
[ -n "$crashed" ] || fail "no movie while recording"
survived=$(count_frames "$crashed")
[ "$survived" -ge 3 ] || fail "only $survived frames survive a kill -9"
"$ventilux" --selftest 2>/dev/null
[ "$(count_frames "$crashed")" -eq "$survived" ] || fail "recovery changed the frame count"
! LC_ALL=C grep -q -a mvex "$crashed" || fail "the crashed movie was not finalised at the next start"

# Without an X display the run reports the failure and still exits 0.
status=0
env -u DISPLAY "$ventilux" --selftest 2>"$work/err" || status=$?
cat "$work/err"
[ "$status" -eq 0 ] || fail "exit status $status without a display"
grep -q '^SELFTEST RESULT: Could not start: .* | no-file$' "$work/err" || fail "no failure line"
echo "PASS: $frames frames, ${width}x${height}"
