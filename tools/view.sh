#!/usr/bin/env bash
# Installs what is missing, builds the viewer and shows models in it:
#   tools/view.sh [FIRST.bsv2 [SECOND.bsv2]]
# With no files, the bundled cube (green) and tent (red); files are taken
# from the folder this is run from. With no X display (DISPLAY unset) the
# picture the viewer would show once complete is drawn at once without a
# window (bsv2-snapshot) and saved as out/screenshot.png in the repository,
# whose path is printed; when no model could be read there is no picture
# and the status is 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/build-steps.sh"

if [ $# -gt 2 ]; then
  echo "usage: $0 [FIRST.bsv2 [SECOND.bsv2]]" >&2
  exit 1
fi
files=()
for file in "$@"; do
  files+=("$(realpath -m -- "$file")")
done
if [ $# -eq 0 ]; then
  files=("$root/models/cube.bsv2" "$root/models/tent.bsv2")
fi

# Builds one target quietly; its output only when it fails.
build() {
  quietly "configuring the build" cmake -S "$root" -B "$root/build-view" -DBUILD_TESTING=OFF "$@"
  quietly "building $target" cmake --build "$root/build-view" --target "$target" -j "$(nproc)"
}

if [ -n "${DISPLAY:-}" ]; then
  bash "$root/tools/install-deps.sh" view
  target=bsv2-viewer build -DBSV2_REQUIRE_VIEWER=ON
  exec "$root/build-view/viewer/bsv2-viewer" "${files[@]}"
fi

bash "$root/tools/install-deps.sh" snapshot
target=bsv2-snapshot build -DBSV2_REQUIRE_SNAPSHOT=ON
mkdir -p "$root/out"
png=$root/out/screenshot.png
status=0
"$root/build-view/snapshot/bsv2-snapshot" "${files[@]}" "$png" || status=$?
if [ "$status" -ne 0 ]; then
  [ "$status" -eq 1 ] && echo "view.sh: no model could be read, so there is no picture" >&2
  exit "$status"
fi
echo "Screenshot: $png"
