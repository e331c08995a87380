#!/usr/bin/env bash
# Installs what is missing, builds bsv2-convert and runs it with the given
# arguments:
#   tools/convert.sh [--fit] INPUT OUTPUT
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/tools/install-deps.sh" convert
cmake -S "$root" -B "$root/build-view" -DBUILD_TESTING=OFF -DBSV2_REQUIRE_CONVERTER=ON >/dev/null
cmake --build "$root/build-view" --target bsv2-convert -j "$(nproc)" >&2
exec "$root/build-view/converter/bsv2-convert" "$@"
