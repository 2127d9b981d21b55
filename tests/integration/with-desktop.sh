#!/usr/bin/env bash
# Runs one command inside a private, headless desktop and exits with its status.
#
#   with-desktop.sh [--x] [--dbus] [--pulse] [--wayland] [--xvfb-args "..."]
#                   [--monitors "WxH ..."] -- command args...
#
#   --x          Xvfb (-noreset; --xvfb-args gives its screens, default "-screen 0 1920x1080x24")
#   --dbus       a private session bus, started once DISPLAY, HOME and XDG_* are set so that
#                the services it activates see the command's desktop
#   --pulse      a headless PulseAudio: null sinks "sysout" (default) and "micfeed", and the
#                source "virtmic" (default) fed by micfeed, each source kept streaming
#   --wayland    a headless GNOME session (implies --dbus): PipeWire, WirePlumber, mutter with
#                one virtual monitor per --monitors size (default 1280x720), an animated
#                client, and the ScreenCast portal activated by the bus
#
# The command gets a fresh HOME and XDG_* folders, and DISPLAY, DBUS_SESSION_BUS_ADDRESS
# and PULSE_SERVER only for the pieces asked for, so it never reaches the developer's
# own desktop. Everything started here stops when the command ends (the bus last).
# WITH_DESKTOP_KEEP=1 keeps the temporary folder and its logs. A piece that does not
# start makes the script print its log and exit 125 without running anything.
set -euo pipefail

readonly kStartFailure=125
readonly kStartDeadlineSeconds=15

usage() { sed -n 4,5p "$0" >&2; exit 2; }

want_x=0 want_dbus=0 want_pulse=0 want_wayland=0
xvfb_args="-screen 0 1920x1080x24" monitors="1280x720"
while [ $# -gt 0 ]; do
    case "$1" in
        --x) want_x=1 ;;
        --dbus) want_dbus=1 ;;
        --pulse) want_pulse=1 ;;
        --wayland) want_wayland=1 want_dbus=1 ;;
        --monitors) [ $# -ge 2 ] || usage; monitors="$2"; shift ;;
        --xvfb-args) [ $# -ge 2 ] || usage; xvfb_args="$2"; shift ;;
        --) shift; break ;;
        *) usage ;;
    esac
    shift
done
[ $# -gt 0 ] || usage

work=$(mktemp -d -t with-desktop.XXXXXX)
# Process-group leaders we started, stopped in reverse order; the bus is kept apart
# because services it activated must be able to say goodbye on it until the end.
groups=()
bus_group=""

# A process that has exited but is not yet reaped counts as gone.
alive() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
    [[ $state != Z* ]]
}

# Stops a group we started: TERM to every member, then KILL to what is left once
# its leader is gone or after 5 s.
stop_group() {
    local pid=$1 tries=0
    kill -TERM -- "-$pid" 2>/dev/null || return 0
    while alive "$pid" && [ $tries -lt 100 ]; do
        sleep 0.05
        tries=$((tries + 1))
    done
    kill -KILL -- "-$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    local i
    for ((i = ${#groups[@]} - 1; i >= 0; i--)); do stop_group "${groups[$i]}"; done
    [ -z "$bus_group" ] || stop_group "$bus_group"
    [ "${WITH_DESKTOP_KEEP:-0}" = 1 ] && echo "with-desktop: kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "with-desktop: $1" >&2
    [ -z "${2:-}" ] || { echo "--- $2" >&2; tail -n 30 "$2" >&2 || true; }
    exit $kStartFailure
}

# Starts a command in its own session so that it and everything it spawns can be
# stopped as one group; its pid is left in `started` and added to `groups`.
start_group() {
    local log=$1
    shift
    setsid "$@" >>"$log" 2>&1 </dev/null &
    started=$!
    groups+=("$started")
}

# Polls `check` until it succeeds, the started process dies, or the deadline passes.
wait_until() {
    local what=$1 pid=$2 log=$3
    shift 3
    local deadline=$((SECONDS + kStartDeadlineSeconds))
    until "$@"; do
        alive "$pid" || fail "$what exited while starting." "$log"
        [ $SECONDS -lt $deadline ] || fail "$what was not ready within ${kStartDeadlineSeconds} s." "$log"
        sleep 0.05
    done
}

# True once a file holds a whole line: what a server writes when it is ready.
has_line() { [ -s "$1" ] && [ -z "$(tail -c 1 "$1")" ]; }
pulse_answers() { pactl info >/dev/null 2>&1; }
bus_has_name() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}

export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" NO_AT_BRIDGE=1
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_STATE_HOME="$HOME/.local/state"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS PULSE_SERVER XAUTHORITY

if [ $want_x = 1 ]; then
    # shellcheck disable=SC2086 # the screen arguments are meant to be split
    start_group "$work/xvfb.log" bash -c 'exec Xvfb -displayfd 5 -noreset -nolisten tcp "$@" 5>"$0"' \
        "$work/display" $xvfb_args
    wait_until Xvfb "$started" "$work/xvfb.log" has_line "$work/display"
    export DISPLAY=":$(head -n 1 "$work/display")"
fi

if [ $want_wayland = 1 ]; then
    # Set before the bus starts: the portal's GNOME backend, activated by the bus,
    # exits at once when it cannot find the compositor.
    export WAYLAND_DISPLAY=wayland-0 XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
fi

if [ $want_dbus = 1 ]; then
    start_group "$work/dbus.log" bash -c 'exec dbus-daemon --session --nofork --nopidfile \
        --address="unix:path=$0" --print-address=3 3>"$1"' "$work/bus" "$work/bus.address"
    bus_group=$started
    unset 'groups[-1]'
    wait_until dbus-daemon "$started" "$work/dbus.log" has_line "$work/bus.address"
    DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$work/bus.address")"
    export DBUS_SESSION_BUS_ADDRESS
fi

if [ $want_pulse = 1 ]; then
    export PULSE_SERVER="unix:$work/pulse.socket"
    start_group "$work/pulse.log" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --disallow-exit --use-pid-file=no --log-target=stderr \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.socket" \
        -L "module-null-sink sink_name=sysout" -L "module-null-sink sink_name=micfeed" \
        -L "module-remap-source master=micfeed.monitor source_name=virtmic"
    wait_until PulseAudio "$started" "$work/pulse.log" pulse_answers
    pactl set-default-sink sysout || fail "PulseAudio has no sink sysout." "$work/pulse.log"
    pactl set-default-source virtmic || fail "PulseAudio has no source virtmic." "$work/pulse.log"
    # Idle null sinks run at a 2 s latency; a reader on each source keeps them
    # streaming so that a reader the command starts gets samples at once.
    for source in $(pactl list short sources | cut -f 2); do
        start_group "$work/parec.log" bash -c 'exec parec -d "$0" --latency-msec=20 >/dev/null' "$source"
    done
fi

if [ $want_wayland = 1 ]; then
    start_group "$work/pipewire.log" pipewire
    wait_until PipeWire "$started" "$work/pipewire.log" test -S "$XDG_RUNTIME_DIR/pipewire-0"
    start_group "$work/wireplumber.log" wireplumber
    monitor_args=()
    for size in $monitors; do monitor_args+=(--virtual-monitor "$size"); done
    start_group "$work/mutter.log" env -u WAYLAND_DISPLAY mutter --headless --wayland --no-x11 \
        --wayland-display "$WAYLAND_DISPLAY" "${monitor_args[@]}"
    wait_until mutter "$started" "$work/mutter.log" bus_has_name org.gnome.Mutter.ScreenCast
    # For tests of what happens when the compositor goes away.
    export WITH_DESKTOP_COMPOSITOR_PID=$started
    # The compositor sends a picture only when the screen changes.
    start_group "$work/client.log" weston-simple-shm
fi

# The command runs as a background job so that a signal to this script is handed
# on to it at once (a trap would otherwise wait for a foreground command to end).
"$@" <&0 &
child=$!
trap 'kill -INT "$child" 2>/dev/null || true' INT
trap 'kill -TERM "$child" 2>/dev/null || true' TERM
status=0
while :; do
    wait "$child" && status=0 || status=$?
    kill -0 "$child" 2>/dev/null || break
done
exit $status
