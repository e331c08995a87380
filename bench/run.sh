#!/usr/bin/env bash
# Installs what is missing, builds the benchmark with optimisation and runs
# it: the library's BSV2 reader and writer against the baseline a user would
# otherwise write (fscanf and fprintf with the format's own patterns), on a
# file of 1,000,000 vertices and 2,000,000 triangles, and the peak memory of
# a process that only reads that file; then what the Python module's read
# costs over the library's; then bsv2-snapshot beside f3d (bench/snapshot.sh);
# then the worst case a thumbnailer meets, plain and with --thumbnail
# (bench/thumbnail.sh).
#   bench/run.sh [--runs N] [--vertices V] [--triangles T]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/build-steps.sh

bash tools/install-deps.sh bench
quietly "configuring the build" cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
quietly "building the benchmark" cmake --build build-bench -j "$(nproc)" --target bench_bsv2 bsv2-info bsv2_python \
  bsv2-snapshot bsv2-convert
echo "Machine: $(date +%F), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
build-bench/bench/bench_bsv2 "$@"
echo
PYTHONPATH=build-bench/python /usr/bin/python3 bench/python_read_bench.py "$@"
echo
bash bench/snapshot.sh
echo
bash bench/thumbnail.sh
