#!/usr/bin/env bash
# Builds and runs every benchmark (each bench/<name>.cpp is bench_<name>) on a
# private headless desktop: an X screen, a session bus and a sound server. A
# benchmark names the screens it runs on in a line "// bench-screens: WxH ...";
# it runs once on each (1920x1080 when it names none), with BENCH_SCREEN set.
# Arguments go to every benchmark, e.g. --benchmark_filter=Screenshot.
# At the end, one table: every goal a benchmark reported, its figure, met or not,
# and the figures reported beside the goals.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
# Measure what users run: the optimised default build, never a sanitised one.
dir=build-bench
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENTILUX_SANITIZE= >/dev/null
mapfile -t targets < <(cd bench && for f in *.cpp; do echo "bench_${f%.cpp}"; done)
cmake --build "$dir" -j "$(nproc)" --target ventilux "${targets[@]}"

goals=$(mktemp)
trap 'rm -f "$goals"' EXIT
status=0
for target in "${targets[@]}"; do
    source_file="bench/${target#bench_}.cpp"
    screens=$(sed -n 's|^// bench-screens: *||p' "$source_file")
    for screen in ${screens:-1920x1080}; do
        echo "== $target on a ${screen} screen"
        BENCH_SCREEN=$screen VENTILUX_BINARY="$PWD/$dir/src/ventilux" \
            tests/integration/with-desktop.sh --x --dbus --pulse \
            --xvfb-args "-screen 0 ${screen}x24" -- "$dir/bench/$target" "$@" |
            tee >(grep -oE $'(GOAL|REPORT)\t.*' >>"$goals") || status=1
    done
done

echo
echo "== Summary ($(nproc) cores, $(date -u +%Y-%m-%d))"
awk -F'\t' 'BEGIN { printf "%-62s | %-74s | %s\n", "Goal", "Measured", "Result" }
            { printf "%-62s | %-74s | %s\n", $2, $3, $1 == "GOAL" ? $4 : "(figure only)" }' "$goals"
exit $status
