#!/usr/bin/env bash
# The tree must read as its architecture: the folders under src/ import each
# other without a cycle, and only the Linux desktop's folders include the
# desktop's own libraries.
set -euo pipefail
src="${1:?usage: check-layout.sh SRC_DIR}"
cd "$src"
status=0

# One "importer imported" pair per folder that includes another's header.
edges=$(grep -rHo --include='*.cpp' --include='*.h' '^#include "[^"]*/[^/"]*"' . |
    sed -E 's#^\./(.*)/[^/]*:\#include "(.*)/[^/]*"$#\1 \2#' | awk '$1 != $2' | sort -u)
if ! loops=$(printf '%s\n' "$edges" | tsort 2>&1 >/dev/null) || [ -n "$loops" ]; then
    echo "check-layout: folders include each other in a cycle:"
    printf '%s\n' "$loops"
    status=1
fi

outside=$(grep -rEn --include='*.cpp' --include='*.h' \
    '^#include <(X11|xcb|libav|libsw|pulse|glib|gio|cairo|pipewire|spa|wayland)' . |
    grep -v '^\./platform/linux/' || true)
if [ -n "$outside" ]; then
    echo "check-layout: desktop headers outside src/platform/linux:"
    printf '%s\n' "$outside"
    status=1
fi
exit $status
