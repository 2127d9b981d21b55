# shellcheck shell=bash
# Sourced by the scripts that wait for something they started on a desktop.

# Polls a condition every tenth of a second, at most $1 seconds.
#   within SECONDS COMMAND [ARGS...]
within() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}
