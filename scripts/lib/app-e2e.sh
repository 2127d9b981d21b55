# shellcheck shell=bash
# Sourced by the end-to-end scripts that run the real program beside a
# stand-in desktop (tray-host.py): a work folder that goes, with every
# background job, when the script ends; a fail() that shows what the program
# said ($work/err) and what the desktop saw ($work/events); and within().
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- ventilux stderr" >&2
    cat "$work/err" >&2 2>/dev/null || true
    echo "--- desktop events" >&2
    cat "$work/events" >&2 2>/dev/null || true
    exit 1
}
# shellcheck source=poll.sh
source "$(dirname "${BASH_SOURCE[0]}")/poll.sh"
