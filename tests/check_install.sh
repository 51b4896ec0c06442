#!/bin/sh
# cmake --install puts both tools and their manual pages under the prefix.
set -eu
build=$1 prefix=$2
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/zuget bin/zuput share/man/man1/zuget.1 share/man/man1/zuput.1; do
  [ -f "$prefix/$f" ] || { echo "missing $f"; exit 1; }
done
[ -x "$prefix/bin/zuget" ] && [ -x "$prefix/bin/zuput" ]
