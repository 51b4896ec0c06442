#!/bin/sh
# Remakes the seed corpus with the project's own mkdat: make_corpus.sh MKDAT
set -eu
mkdat=$1
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/one" "$tmp/names"
printf 'x' > "$tmp/one/A"
printf '' > "$tmp/names/EMPTY"
printf 'twelve chars' > "$tmp/names/TWELVE.CHARS"
printf '0123456789' > "$tmp/names/DIGITS.TXT"
"$mkdat" "$here/corpus/empty.dat"
"$mkdat" "$here/corpus/one.dat" "$tmp/one/A"
"$mkdat" "$here/corpus/names.dat" "$tmp/names/EMPTY" "$tmp/names/TWELVE.CHARS" "$tmp/names/DIGITS.TXT"
"$mkdat" "$here/corpus/sample.dat" "$here/../sample/files"/*
