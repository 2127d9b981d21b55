#!/usr/bin/env bash
# Records a real time-lapse with `ventilux --selftest`. Without a DISPLAY it
# first starts a virtual X display with something moving on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
dir=$(scripts/build.sh | tail -n 1)

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 5 -noreset -screen 0 1280x720x24 -nolisten tcp 5>"$work/display" 2>/dev/null &
  pids+=($!)
  until [ -s "$work/display" ]; do sleep 0.05; done
  export DISPLAY=":$(cat "$work/display")"
  xclock -update 1 -geometry 400x400+40+40 >/dev/null 2>&1 &
  pids+=($!)
  xeyes -geometry 300x200+600+100 >/dev/null 2>&1 &
  pids+=($!)
  xlogo -geometry 200x200+900+400 >/dev/null 2>&1 &
  pids+=($!)
  echo "Started a virtual X display $DISPLAY"
fi

"$dir/src/ventilux" --selftest 2>&1 | tee "$work/result"
movie=$(sed -n 's/^SELFTEST RESULT: .* | \(.*\)$/\1/p' "$work/result" | tail -n 1)
if [ -n "$movie" ] && [ "$movie" != no-file ] && [ -f "$movie" ]; then
  echo "The movie is at: $movie"
  ffprobe -v error -select_streams v:0 -count_frames \
    -show_entries stream=codec_name,width,height,nb_read_frames -of default=nw=1 "$movie" || true
else
  echo "No movie was saved." >&2
  exit 1
fi
