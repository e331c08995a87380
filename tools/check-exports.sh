#!/usr/bin/env bash
# Checks that a shared libbsv2 exports exactly the public operations that
# shape/bsv2.map names, and nothing else (no helpers, no C++ runtime data).
#   tools/check-exports.sh path/to/libbsv2.so
set -euo pipefail
cd "$(dirname "$0")/.."
library=$1
expected=$(grep -E '^\s+[A-Za-z_]+;' shape/bsv2.map | tr -d ' ;' | sort)
# The version nodes themselves show up as absolute symbols; they are not code.
actual=$(nm -D --defined-only "$library" | awk '$2 != "A" {print $3}' | sed 's/@.*//' | sort)
if [ "$actual" != "$expected" ]; then
  echo "$library exports other symbols than shape/bsv2.map names:" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "$library exports exactly: $(echo "$actual" | tr '\n' ' ')"
