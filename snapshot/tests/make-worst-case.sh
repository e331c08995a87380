#!/usr/bin/env bash
# Writes the costliest BSV2 file of its size to draw: three vertices at the
# corners of the viewer's picture and the triangle "0 1 2" repeated, so that
# every line spans the picture. A file anyone can make in one line of
# shell, and what a thumbnailer must survive. The corners are just inside
# the picture, or with --outside just outside it (the lines still cross it,
# but no estimate made from the vertices in view sees them).
#   make-worst-case.sh [--outside] MEGABYTES OUTPUT.bsv2
set -euo pipefail
corners='2.396 -3.054 16.732
14.127 -3.054 -2.819
-2.763 2.688 -12.952'
if [ "$1" = --outside ]; then
  corners='2.668 -3.357 18.295
15.633 -3.357 -3.314
-3.034 2.990 -14.514'
  shift
fi
megabytes=$1 output=$2
# "0 1 2\n" is 6 bytes a triangle.
triangles=$(((megabytes * 1000000 - 80) / 6))
printf 'BSV2\n3\n%d\n%s\n' "$triangles" "$corners" >"$output"
awk -v n="$triangles" 'BEGIN { for (i = 0; i < n; i++) print "0 1 2" }' >>"$output"
