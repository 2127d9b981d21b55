#!/usr/bin/env bash
# Builds a release of Ventilux (build-release/, without the tests) and makes
# its Debian package there; the package's path goes to standard output. The
# release is built as the tests build it (-O2; -O3 wakes g++ 12's false
# -Wrestrict warnings inside std::string), and cpack strips the program.
#   scripts/package.sh && sudo apt-get install ./build-release/ventilux_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-release
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENTILUX_SANITIZE= -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" >&2
(cd "$dir" && cpack -G DEB >&2)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
deb="$PWD/$dir/ventilux_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "package.sh: cpack made no $deb" >&2; exit 1; }
echo "$deb"
