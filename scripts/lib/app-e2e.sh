# shellcheck shell=bash
# Sourced by the scripts that run the real program end to end: a work folder
# that goes, with every background job, when the script ends; a fail() that
# shows what the program said ($work/err) and what a stand-in desktop saw
# ($work/events), where there is any; and within().
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    [ ! -s "$work/err" ] || { echo "--- ventilux stderr"; cat "$work/err"; } >&2
    [ ! -s "$work/events" ] || { echo "--- desktop events"; cat "$work/events"; } >&2
    exit 1
}
# shellcheck source=poll.sh
source "$(dirname "${BASH_SOURCE[0]}")/poll.sh"
