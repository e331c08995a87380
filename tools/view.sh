#!/usr/bin/env bash
# Installs what is missing, builds the viewer and shows models in it:
#   tools/view.sh [FIRST.bsv2 [SECOND.bsv2]]
# With no files, the bundled cube (green) and tent (red). With no X display
# (DISPLAY unset) the viewer runs on a virtual X server instead, and a PNG
# screenshot of its window is saved once the picture is complete
# (tools/capture.sh).
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
cmake -S . -B build-view -DBUILD_TESTING=OFF -DBSV2_REQUIRE_VIEWER=ON >/dev/null
cmake --build build-view --target bsv2-viewer -j "$(nproc)"
viewer=build-view/viewer/bsv2-viewer

if [ -n "${DISPLAY:-}" ]; then
  exec "$viewer" "$@"
fi

# Headless: a picture of the finished window.
mkdir -p out
exec bash tools/capture.sh "$viewer" "$PWD/out/screenshot.png" "$@"
