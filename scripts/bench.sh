#!/usr/bin/env bash
# Builds and runs every benchmark (each bench/<name>.cpp is bench_<name>) on a
# private headless desktop: a 3840x2160 X screen, a session bus and a sound
# server. Arguments go to every benchmark, e.g. --benchmark_filter=Screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
# Measure what users run: the optimised default build, never a sanitised one.
dir=build-bench
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENTILUX_SANITIZE= >/dev/null
mapfile -t targets < <(cd bench && for f in *.cpp; do echo "bench_${f%.cpp}"; done)
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"

status=0
for target in "${targets[@]}"; do
    echo "== $target"
    tests/integration/with-desktop.sh --x --dbus --pulse --xvfb-args "-screen 0 3840x2160x24" \
        -- "$dir/bench/$target" "$@" || status=1
done
exit $status
