#!/usr/bin/env bash
# End to end on a real X server and sound server: `ventilux --selftest-rt`
# records the screen with the system's sound and the first microphone into a
# movie whose picture and sound ffprobe reads back. (The stream's own tests
# check each sound source alone and the picture and sound in step.)
#   realtime-selftest.sh /path/to/ventilux      (run inside with-desktop.sh --x --pulse)
set -euo pipefail
ventilux=$1
# shellcheck source=../../scripts/lib/app-e2e.sh
source "$(dirname "$0")/../../scripts/lib/app-e2e.sh"

sox -n -r 48000 -c 2 "$work/tone.wav" synth 12 sine 440 vol 0.5
xclock -update 1 -geometry 300x300+100+100 >/dev/null 2>&1 &
paplay -d sysout "$work/tone.wav" &

"$ventilux" --selftest-rt 2>"$work/err" || fail "exit status $?"
first=$(head -n 1 "$work/err")
[[ $first =~ ^SELFTEST-RT:\ system\ audio\ on,\ mic\ .+$ && $first != *"mic none" ]] ||
    fail "first line"
result=$(grep '^SELFTEST-RT RESULT: ' "$work/err" | head -n 1) || fail "no result line"
[[ $result =~ ^SELFTEST-RT\ RESULT:\ Saved\ 0:0[5-7]\ recording\ \|\ (/.*\.mov)$ ]] ||
    fail "result line: $result"
movie=${BASH_REMATCH[1]}

# The picture at a quarter of 1920x1080, and the tone in the sound.
streams=$(ffprobe -v error -show_entries stream=codec_name,width,height,sample_rate,channels \
    -of csv=p=0 "$movie" | tr '\n' ' ')
[ "$streams" = "h264,480,270 aac,48000,2 " ] || fail "streams $streams"
level=$(ffmpeg -v info -i "$movie" -map 0:a -af volumedetect -f null - 2>&1 |
    sed -n 's/.*max_volume: \(-\?[0-9.]*\) dB.*/\1/p')
awk -v l="$level" 'BEGIN { exit !(l > -40) }' || fail "silent sound ($level dB)"
echo "PASS: $movie"
