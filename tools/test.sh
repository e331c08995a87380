#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and
# runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh test
jobs=$(nproc)

echo "== build and test" >&2
cmake -S . -B build -DBUILD_TESTING=ON -DBSV2_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure
