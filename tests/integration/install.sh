#!/usr/bin/env bash
# `cmake --install` into a prefix with a space in it, under DESTDIR, twice:
# the second run changes nothing, nothing lands outside DESTDIR, and what is
# installed passes the desktop's own validators and runs without a desktop.
#   install.sh <build folder> <version>      (run inside with-desktop.sh, no pieces)
set -euo pipefail
build=$1
version=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

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

# Each file under the prefix, and what checks it.
while read -r file check; do
    [ -f "$root/$file" ] || fail "$file is not installed"
    $check "$root/$file" >"$work/check" 2>&1 || fail "$file ($check): $(cat "$work/check")"
done <<EOF
bin/ventilux                                  test -x
share/applications/$id.desktop                desktop-file-validate --warn-kde
share/metainfo/$id.metainfo.xml               appstreamcli validate --no-net
share/man/man1/ventilux.1.gz                  man_without_warnings
share/icons/hicolor/scalable/apps/$id.svg     svg
share/icons/hicolor/16x16/apps/$id.png        png_of_side 16
share/icons/hicolor/24x24/apps/$id.png        png_of_side 24
share/icons/hicolor/32x32/apps/$id.png        png_of_side 32
share/icons/hicolor/48x48/apps/$id.png        png_of_side 48
share/icons/hicolor/64x64/apps/$id.png        png_of_side 64
share/icons/hicolor/128x128/apps/$id.png      png_of_side 128
share/icons/hicolor/256x256/apps/$id.png      png_of_side 256
EOF

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
