#!/usr/bin/env bash
# Installs what the build needs, builds, and runs every test (unit and
# integration). VENTILUX_SANITIZE=address|thread runs the same suite on a
# sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=$(scripts/build.sh | tail -n 1)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
# ThreadSanitizer cannot map its shadow memory under the kernel's widest
# address randomisation; running without randomisation is its documented cure.
runner=()
if [ "${VENTILUX_SANITIZE:-}" = thread ]; then runner=(setarch "$(uname -m)" -R); fi
"${runner[@]}" ctest --test-dir "$dir" --output-on-failure -j 2 --timeout 300
