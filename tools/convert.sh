#!/usr/bin/env bash
# Installs what is missing, builds bsv2-convert and runs it with the given
# arguments:
#   tools/convert.sh [--fit] INPUT OUTPUT
# The build says nothing unless it fails (status 70); the converter's own
# output and status are then the script's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/build-steps.sh"

bash "$root/tools/install-deps.sh" convert
quietly "configuring the build" cmake -S "$root" -B "$root/build-view" -DBUILD_TESTING=OFF -DBSV2_REQUIRE_CONVERTER=ON
quietly "building bsv2-convert" cmake --build "$root/build-view" --target bsv2-convert -j "$(nproc)"
exec "$root/build-view/converter/bsv2-convert" "$@"
