#!/usr/bin/env bash
# Checks that a shared libbsv2 exports exactly the public operations that
# shape/bsv2.map names, each in the version node the map puts it in, and
# nothing else (no helpers, no C++ runtime data).
#   tools/check-exports.sh path/to/libbsv2.so
set -euo pipefail
cd "$(dirname "$0")/.."
library=$1
# "name@@NODE" for every name under a node's "global:" in the map, its
# comments left out.
expected=$(awk '/\/\*/ {comment = 1} comment {if (/\*\//) comment = 0; next}
  /^[A-Za-z0-9_.]+ *\{/ {node = $1} /^ +[A-Za-z_][A-Za-z0-9_]*;/ {sub(/;/, "", $1); print $1 "@@" node}' \
  shape/bsv2.map | sort)
# The version nodes themselves show up as absolute symbols; they are not code.
actual=$(nm -D --defined-only "$library" | awk '$2 != "A" {print $3}' | sort)
if [ "$actual" != "$expected" ]; then
  echo "$library exports other symbols (or other versions) than shape/bsv2.map names:" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "$library exports exactly: $(echo "$actual" | tr '\n' ' ')"
