#!/usr/bin/env bash
# End to end on a real X server and sound server: `ventilux --selftest-rt`
# records the screen with the system's sound (or, with --mic-only, the
# microphone alone) into a movie whose picture and sound ffprobe reads back.
#   realtime-selftest.sh /path/to/ventilux      (run inside with-desktop.sh --x --pulse)
set -euo pipefail
ventilux=$1
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

sox -n -r 48000 -c 2 "$work/tone.wav" synth 12 sine 440 vol 0.5
xclock -update 1 -geometry 300x300+100+100 >/dev/null 2>&1 &

# Runs one self-test while a tone plays into `sink`; leaves the movie's path in $movie.
record() {
    local sink=$1 expected_audio=$2
    shift 2
    paplay -d "$sink" "$work/tone.wav" &
    local player=$! status=0
    "$ventilux" --selftest-rt "$@" 2>"$work/err" || status=$?
    kill "$player" 2>/dev/null || true
    cat "$work/err"
    [ "$status" -eq 0 ] || fail "exit status $status"
    [[ $(head -n 1 "$work/err") =~ ^SELFTEST-RT:\ system\ audio\ $expected_audio,\ mic\ .+$ ]] ||
        fail "first line"
    local result
    result=$(grep '^SELFTEST-RT RESULT: ' "$work/err" | head -n 1) || fail "no result line"
    [[ $result =~ ^SELFTEST-RT\ RESULT:\ Saved\ 0:0[5-7]\ recording\ \|\ (/.*\.mov)$ ]] ||
        fail "result line: $result"
    movie=${BASH_REMATCH[1]}
    [ -f "$movie" ] || fail "no movie at $movie"
}

# The picture at a quarter of 1920x1080, and sound at 48 kHz in two channels that is not silent.
check_movie() {
    IFS=, read -r codec width height < <(ffprobe -v error -select_streams v:0 \
        -show_entries stream=codec_name,width,height -of csv=p=0 "$movie")
    [ "$codec" = h264 ] && [ "$width" = 480 ] && [ "$height" = 270 ] ||
        fail "video $codec ${width}x${height}"
    IFS=, read -r rate channels < <(ffprobe -v error -select_streams a:0 \
        -show_entries stream=sample_rate,channels -of csv=p=0 "$movie")
    [ "$rate" = 48000 ] && [ "$channels" = 2 ] || fail "audio ${rate} Hz, $channels channels"
    local level
    level=$(ffmpeg -v info -i "$movie" -map 0:a -af volumedetect -f null - 2>&1 |
        sed -n 's/.*max_volume: \(-\?[0-9.]*\) dB.*/\1/p')
    [ -n "$level" ] && awk -v l="$level" 'BEGIN { exit !(l > -40) }' || fail "silent sound ($level dB)"
}

record sysout on
check_movie
echo "PASS: system audio in $movie"

record micfeed off --mic-only
check_movie
echo "PASS: microphone alone in $movie"
