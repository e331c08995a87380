#!/usr/bin/env bash
# Times bsv2-snapshot drawing a mesh without a display beside the peer a user
# would otherwise reach for: Debian's f3d writing its picture of the same
# mesh (as binary PLY) with --output, under xvfb-run, since it needs an X
# display. Two meshes: the benchmark's shape of 1,000,000 random vertices and
# 2,000,000 triangles, and a real one, 2CylinderEngine.glb from Debian's
# assimp-testmodels (fitted into the view). Runs alternate, RUNS each
# (default 5); the medians and their ratio are printed.
#   bench/snapshot.sh [RUNS]
# Run by bench/run.sh, which installs what it needs and builds build-bench.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
bin=build-bench
engine=/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin"/bench/bench_bsv2 --shape-only "$work/random.bsv2"
"$bin"/converter/bsv2-convert --fit "$engine" "$work/engine.bsv2" >/dev/null
for mesh in random engine; do
  "$bin"/converter/bsv2-convert "$work/$mesh.bsv2" "$work/$mesh.ply" >/dev/null
done

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "Pictures of 500 x 500 pixels without a display; median of $runs runs each"
printf '%-44s %12s %12s %8s\n' "mesh" "bsv2-snapshot" "f3d" "ratio"
for mesh in random engine; do
  ours=() theirs=()
  for _ in $(seq "$runs"); do
    ours+=("$(seconds "$bin"/snapshot/bsv2-snapshot "$work/$mesh.bsv2" "$work/ours.png")")
    theirs+=("$(seconds xvfb-run -a -s "-screen 0 800x700x24" f3d --resolution=500,500 \
                 --output="$work/theirs.png" "$work/$mesh.ply")")
  done
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${theirs[@]}" | median)
  name=$([ "$mesh" = random ] && echo "1M vertices, 2M random triangles" || echo "2CylinderEngine.glb (121,496 triangles)")
  printf '%-44s %10.2f s %10.2f s %7.1fx\n' "$name" "$a" "$b" "$(echo "$b / $a" | bc -l)"
done
