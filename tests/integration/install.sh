#!/usr/bin/env bash
# `cmake --install` into a prefix with a space in it, under DESTDIR, twice:
# the second run changes nothing, nothing lands outside DESTDIR, and what is
# installed passes the desktop's own validators and runs without a desktop.
#   install.sh <build folder> <version>      (run inside with-desktop.sh, no pieces)
set -euo pipefail
build=$1
version=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/lib/app-e2e.sh
source "$source_dir/scripts/lib/app-e2e.sh"

readonly id=lab.quimbry.ventilux
readonly prefix="$work/the prefix"
readonly destdir="$work/dest dir"
readonly root="$destdir$prefix"

for round in first second; do
    DESTDIR="$destdir" cmake --install "$build" --prefix "$prefix" >"$work/$round.log" 2>&1 ||
        fail "the $round install: $(cat "$work/$round.log")"
    (cd "$destdir" && find . -printf '%p %s\n' | sort) >"$work/$round.files"
done
diff "$work/first.files" "$work/second.files" >&2 || fail "the second install changed the files"
[ ! -e "$prefix" ] || fail "files landed in the prefix itself, outside DESTDIR"

man_without_warnings() {
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$1" 2>&1 >/dev/null | tee /dev/stderr |
        { ! grep -q .; }
}
png_of_side() {  # side file: a PNG whose header gives that side both ways
    [ "$(head -c 8 "$2" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || return 1
    local header
    header=$(od -An -tu1 -j16 -N8 "$2" | tr -s ' ' | sed 's/^ //')
    [ "$header" = "0 0 $(($1 >> 8)) $(($1 & 255)) 0 0 $(($1 >> 8)) $(($1 & 255))" ] ||
        { echo "header $header, not $1 x $1"; return 1; }
}
svg() {
    python3 -c 'import sys, xml.dom.minidom as m
sys.exit(m.parse(sys.argv[1]).documentElement.tagName != "svg")' "$1"
}

installed() {  # file under the prefix, then the command that checks it
    local file=$1
    shift
    [ -f "$root/$file" ] || fail "$file is not installed"
    "$@" "$root/$file" >"$work/check" 2>&1 || fail "$file ($*): $(cat "$work/check")"
}
installed bin/ventilux test -x
installed "share/applications/$id.desktop" desktop-file-validate --warn-kde
installed "share/metainfo/$id.metainfo.xml" appstreamcli validate --no-net
installed share/man/man1/ventilux.1.gz man_without_warnings
installed "share/icons/hicolor/scalable/apps/$id.svg" svg
for side in 16 24 32 48 64 128 256; do
    installed "share/icons/hicolor/${side}x$side/apps/$id.png" png_of_side "$side"
done

# The entry starts the installed program and shows the installed icon.
grep -qx "Exec=ventilux" "$root/share/applications/$id.desktop" || fail "Exec is not the program"
grep -qx "Icon=$id" "$root/share/applications/$id.desktop" || fail "Icon is not the icon's name"

# Without any desktop, --version and --help answer on standard output alone.
ventilux="$root/bin/ventilux"
status=0
"$ventilux" --version >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] && [ ! -s "$work/err" ] || fail "--version: status $status, $(cat "$work/err")"
[ "$(cat "$work/out")" = "Ventilux $version" ] || fail "--version says: $(cat "$work/out")"
"$ventilux" --help >"$work/out" 2>"$work/err" || fail "--help: status $?"
[ ! -s "$work/err" ] || fail "--help wrote on standard error: $(cat "$work/err")"
[ "$(head -n 1 "$work/out")" = "Usage: ventilux [OPTION]" ] || fail "--help says: $(cat "$work/out")"

# Every switch of the command line is in the help and in the manual page.
LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$root/share/man/man1/ventilux.1.gz" >"$work/man" 2>/dev/null
for switch in --mic-only $(grep -o '{"--[a-z-]*"' "$source_dir/src/app/CommandLine.cpp" | tr -d '{"'); do
    grep -qE -- "$switch([^a-z-]|$)" "$work/out" || fail "--help leaves out $switch"
    grep -qE -- "^ *$switch([^a-z-]|$)" "$work/man" || fail "the manual page leaves out $switch"
done
echo "PASS: installed twice into '$prefix' under DESTDIR, validated, --version and --help answer"
