#!/usr/bin/env bash
# Installs what is missing, builds the viewer and shows models in it:
#   tools/view.sh [FIRST.bsv2 [SECOND.bsv2]]
# With no files, the bundled cube (green) and tent (red). With no X display
# (DISPLAY unset) the viewer runs on a virtual X server instead, and a PNG
# screenshot of its window is saved once the second model is complete.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -eq 0 ]; then
  set -- models/cube.bsv2 models/tent.bsv2
fi
if [ $# -gt 2 ]; then
  echo "usage: $0 [FIRST.bsv2 [SECOND.bsv2]]" >&2
  exit 1
fi

bash tools/install-deps.sh view
cmake -S . -B build-view -DBUILD_TESTING=OFF -DBSV2_REQUIRE_CONVERTER=OFF >/dev/null
cmake --build build-view --target bsv2-viewer -j "$(nproc)"
viewer=build-view/viewer/bsv2-viewer

if [ -n "${DISPLAY:-}" ]; then
  exec "$viewer" "$@"
fi

# Headless: the second model draws one triangle every 3 seconds, so wait for
# all of them (capped at a minute) before taking the picture.
triangles=0
[ $# -eq 2 ] && triangles=$(awk 'NR == 3 { print $1; exit }' "$2" 2>/dev/null || echo 0)
[[ "$triangles" =~ ^[0-9]+$ ]] || triangles=0
wait_seconds=$(( triangles * 3 + 2 ))
[ "$wait_seconds" -gt 60 ] && wait_seconds=60

mkdir -p out
shot=$PWD/out/screenshot.png
Xvfb -displayfd 4 -screen 0 800x700x24 -nolisten tcp -noreset 4>out/.display >/dev/null 2>&1 &
xvfb=$!
viewer_pid=
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  rm -f out/.display
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s out/.display ] && break; sleep 0.1; done
[ -s out/.display ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 out/.display)

"$viewer" "$@" &
viewer_pid=$!
echo "Viewer running on virtual display $DISPLAY; taking a screenshot in $wait_seconds seconds." >&2
sleep "$wait_seconds"
kill -0 "$viewer_pid" 2>/dev/null || { echo "The viewer ended early." >&2; exit 1; }
window=$(xwininfo -name "$viewer" | awk '/Window id:/ { print $4 }')
xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng > "$shot"
echo "Screenshot: $shot"
