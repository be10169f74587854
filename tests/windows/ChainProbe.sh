#!/bin/sh
# ChainProbe.sh FILE: ffprobe must find at least one program and one stream in
# the recording FILE and print nothing on stderr.
set -u
file=$1
[ -s "$file" ] || { echo "no recording at $file"; exit 1; }
errors=$(mktemp)
report=$(ffprobe -v error -show_programs -show_streams "$file" 2>"$errors")
status=$?
if [ -s "$errors" ]; then echo "ffprobe complained:"; cat "$errors"; rm -f "$errors"; exit 1; fi
rm -f "$errors"
[ $status -eq 0 ] || { echo "ffprobe failed with $status"; exit 1; }
programs=$(printf '%s\n' "$report" | grep -c '^\[PROGRAM\]')
streams=$(printf '%s\n' "$report" | grep -c '^\[STREAM\]')
echo "ffprobe: $programs program(s), $streams stream(s)"
[ "$programs" -ge 1 ] && [ "$streams" -ge 1 ]
