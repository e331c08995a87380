#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time:
#   shape/fuzz/run.sh [SECONDS_PER_TARGET]     (default 60, or $FUZZ_SECONDS)
# Fails on any crash, leak, sanitizer report, failed check or timeout; the
# input that caused it is kept under out/fuzz/ (turn it into a regression
# file under shape/tests/regressions/).
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-${FUZZ_SECONDS:-60}}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DBSV2_FUZZ=ON -DBUILD_TESTING=OFF -DBSV2_WERROR=ON \
  -DBSV2_BUILD_VIEWER=OFF -DBSV2_BUILD_CONVERTER=OFF -DBSV2_BUILD_INFO=OFF -DBSV2_BUILD_PYTHON=OFF -DBSV2_BUILD_BENCH=OFF >/dev/null
targets=(fuzz_read fuzz_round_trip fuzz_differential)
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"

mkdir -p out/fuzz
for target in "${targets[@]}"; do
  work=$(mktemp -d)
  echo "== $target for $seconds seconds" >&2
  # New inputs go to the scratch corpus; the committed seeds stay as they are.
  if ! build-fuzz/shape/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -close_fd_mask=3 \
       -dict=shape/fuzz/bsv2.dict -artifact_prefix=out/fuzz/"$target"- -print_final_stats=1 \
       "$work" shape/fuzz/corpus shape/tests/regressions > out/fuzz/"$target".log 2>&1; then
    tail -n 60 out/fuzz/"$target".log >&2
    echo "$target FAILED; the input is in out/fuzz/" >&2
    rm -rf "$work"
    exit 1
  fi
  grep -E "^Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb" out/fuzz/"$target".log >&2
  rm -rf "$work"
done
