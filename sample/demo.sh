#!/bin/sh
# The whole cycle on a sample archive: pack it, unpack it, edit one file,
# put it back, unpack the new archive elsewhere and compare.
# demo.sh MKDAT ZUGET ZUPUT FILES WORK
set -eu
mkdat=$1 zuget=$2 zuput=$3 files=$4 work=$5

rm -rf "$work"
mkdir -p "$work/edit" "$work/after"
cp -R "$files" "$work/original"
"$mkdat" "$work/ZU.DAT" "$files"/*
cd "$work/edit"

echo '$ zuget ../ZU.DAT'
"$zuget" ../ZU.DAT
echo '$ ls -l'
ls -l
echo '$ echo "A line added by hand." >> HELLO.TXT'
echo "A line added by hand." >> HELLO.TXT
echo '$ zuput ../ZU.DAT ../ZU2.DAT HELLO.TXT'
"$zuput" ../ZU.DAT ../ZU2.DAT HELLO.TXT

cd "$work/after"
echo '$ cd ../after && zuget ../ZU2.DAT'
"$zuget" ../ZU2.DAT
cd "$work"
echo '$ diff -r original after    # only the edited file differs'
diff -r original after || true
