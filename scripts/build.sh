#!/usr/bin/env bash
# Configures and builds Ventilux. VENTILUX_SANITIZE=address|thread picks a
# sanitizer build; the build folder is build, build-address or build-thread.
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize="${VENTILUX_SANITIZE:-}"
dir="build${sanitize:+-$sanitize}"
cmake -S . -B "$dir" -DVENTILUX_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j "$(nproc)" >&2  # the folder name alone goes to standard output
echo "$dir"
