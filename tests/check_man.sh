#!/bin/sh
# Every manual page must format without a single groff warning.
status=0
for page in "$@"; do
  out=$(groff -man -ww -z "$page" 2>&1) || status=1
  [ -z "$out" ] || { printf '%s\n' "$out"; status=1; }
done
exit $status
