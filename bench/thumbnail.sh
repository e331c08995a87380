#!/usr/bin/env bash
# The worst case a thumbnailer meets: files of 1, 10 and 50 MB of the
# triangle "0 1 2" over three vertices at the corners of the picture
# (snapshot/tests/make-worst-case.sh), drawn at 128 and 256 pixels. For each,
# the wall time, CPU time and peak memory of the plain snapshot and of
# --thumbnail, which the desktop's thumbnailer line passes: on the file
# whose corners are in view (refused before drawing), and on the same file
# with its corners just outside the picture (which no estimate from the
# vertices in view sees: stopped by the CPU-time limit). Runs alternate.
# With --baseline BIN, a snapshot built from another commit (say main) runs
# beside them as the thumbnailer it was.
#   bench/thumbnail.sh [--runs N] [--baseline BIN] [MEGABYTES...]
# Run by bench/run.sh, which installs what it needs and builds build-bench.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=1 baseline=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    *) break ;;
  esac
done
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 10 50)
snapshot=build-bench/snapshot/bsv2-snapshot
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "wall cpu peak-KiB status" of one run; the PNG is removed afterwards.
measure() {
  local status=0
  /usr/bin/time -o "$work/time" -f '%e %U %S %M' "$@" >/dev/null 2>&1 || status=$?
  rm -f "$work/out.png"
  # (A failed command's note comes first in time's output.)
  tail -n 1 "$work/time" | awk -v status="$status" '{ printf "%s %.2f %s %s\n", $1, $2 + $3, $4, status }'

}
# The median run of several "wall cpu peak status" lines, by wall time.
median() { sort -n | awk '{ line[NR] = $0 } END { print line[int((NR + 1) / 2)] }'; }
cell() {
  read -r wall cpu peak status <<<"$1"
  printf '%6.2f s %6.2f s %5d MB %3s' "$wall" "$cpu" "$((peak / 1024))" "$status"
}

columns=("plain snapshot" "--thumbnail" "--thumbnail, corners out")
[ -z "$baseline" ] || columns=("baseline" "${columns[@]}")
echo "The worst case; wall time, CPU time, peak memory, exit status; median of $runs run(s) each"
printf '%-6s %-5s' "file" "px"
for column in "${columns[@]}"; do printf ' | %-31s' "$column"; done
echo
for megabytes in "${sizes[@]}"; do
  bash snapshot/tests/make-worst-case.sh "$megabytes" "$work/in.bsv2"
  bash snapshot/tests/make-worst-case.sh --outside "$megabytes" "$work/out.bsv2"
  for px in 128 256; do
    declare -A results=()
    for _ in $(seq "$runs"); do
      [ -z "$baseline" ] || results[baseline]+="$(measure "$baseline" --size "$px" "$work/in.bsv2" "$work/out.png")"$'\n'
      results[plain]+="$(measure "$snapshot" --size "$px" "$work/in.bsv2" "$work/out.png")"$'\n'
      results[in]+="$(measure "$snapshot" --thumbnail --size "$px" "$work/in.bsv2" "$work/out.png")"$'\n'
      results[out]+="$(measure "$snapshot" --thumbnail --size "$px" "$work/out.bsv2" "$work/out.png")"$'\n'
    done
    printf '%-6s %-5s' "$megabytes MB" "$px"
    for key in baseline plain in out; do
      [ -n "${results[$key]:-}" ] || continue
      printf ' | %s' "$(cell "$(printf '%s' "${results[$key]}" | median)")"
    done
    echo
    unset results
  done
done
