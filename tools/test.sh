#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and
# runs every test: the whole suite, the converter on mutated mesh files
# ($CONVERT_FUZZ_SECONDS, default 60), the whole suite again built with
# AddressSanitizer and UBSan, then each fuzz target for a bounded time
# ($FUZZ_SECONDS each, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh test
jobs=$(nproc)

echo "== build and test" >&2
cmake -S . -B build -DBUILD_TESTING=ON -DBSV2_WERROR=ON -DBSV2_REQUIRE_CONVERTER=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure --no-tests=error

echo "== bsv2-convert on mutated mesh files" >&2
/usr/bin/python3 fuzz/convert_fuzz.py build/tools/bsv2-convert --seconds "${CONVERT_FUZZ_SECONDS:-60}" --seed 1

echo "== build with -fsanitize=address,undefined and test" >&2
cmake -S . -B build-asan -DBUILD_TESTING=ON -DBSV2_WERROR=ON -DBSV2_SANITIZE=ON -DBSV2_REQUIRE_CONVERTER=ON >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan -j "$jobs" --output-on-failure --no-tests=error

echo "== fuzzing" >&2
bash fuzz/run.sh
