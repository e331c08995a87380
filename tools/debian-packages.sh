#!/usr/bin/env bash
# Builds the Debian packages into out/debian/ the way Debian builds its own:
# under /usr, the programs and module on the shared library, with
# dpkg-buildflags' hardening, stripped, one package per role (libbsv2-1,
# libbsv2-dev, python3-bsv2, bsv2-tools).
#   tools/debian-packages.sh          build them
#   tools/debian-packages.sh check    build them, hold each to lintian (no
#                                     error, no warning), install them all
#                                     for real, use them as a user would,
#                                     then purge them: the system's package
#                                     list must be as it was
# As root on Debian 12 (check installs into the system).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source tools/build-steps.sh
mode=${1:-build}
packages=(libbsv2-1 libbsv2-dev python3-bsv2 bsv2-tools)

bash tools/install-deps.sh package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS: fortification goes in with the compiler flags.
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
quietly "configuring the build" cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DBUILD_SHARED_LIBS=ON -DBSV2_DEBIAN_PACKAGES=ON -DBUILD_TESTING=OFF -DBSV2_BUILD_BENCH=OFF -DBSV2_REQUIRE_VIEWER=ON \
  -DBSV2_REQUIRE_SNAPSHOT=ON -DBSV2_REQUIRE_CONVERTER=ON -DBSV2_REQUIRE_PYTHON=ON -DBSV2_REQUIRE_MANPAGES=ON \
  -DBSV2_REQUIRE_WEB=ON
quietly "building the packages' programs" cmake --build build-deb -j "$(nproc)"
rm -rf out/debian
mkdir -p out/debian
(cd build-deb && rm -f ./*.deb && quietly "making the packages" cpack -G DEB && mv ./*.deb "$root/out/debian/")
echo "Packages in out/debian/: $(cd out/debian && echo *.deb)"
[ "$mode" = check ] || exit 0

echo "== lintian" >&2
for deb in out/debian/*.deb; do
  status=0
  report=$(lintian --fail-on error,warning "$deb" 2>&1) || status=$?
  report=$(echo "$report" | grep -v '^running with root privileges' || true)
  if [ "$status" -ne 0 ]; then
    echo "$report" >&2
    echo "lintian failed on $deb" >&2
    exit 1
  fi
  echo "lintian $(basename "$deb"): $(echo "$report" | grep -c '^E:' || true) errors," \
       "$(echo "$report" | grep -c '^W:' || true) warnings"
done

echo "== installed for real, then purged" >&2
before=$(dpkg-query -W -f '${Package} ${Version}\n' | sort)
work=$(mktemp -d)
purge() {
  status=$?
  apt-get purge -y -q "${packages[@]}" >/dev/null 2>&1 || true
  after=$(dpkg-query -W -f '${Package} ${Version}\n' | sort)
  rm -rf "$work"
  if [ "$before" != "$after" ]; then
    echo "The installed packages differ from before:" >&2
    diff <(echo "$before") <(echo "$after") >&2 || true
    exit 1
  fi
  echo "purged; dpkg-query -W as before the install ($(echo "$after" | wc -l) packages)"
  exit "$status"
}
trap purge EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ./out/debian/*.deb >/dev/null
dpkg-query -W "${packages[@]}"
model=$root/models/cube.bsv2

# The README's C snippet, through pkg-config.
sed -n '/^```c$/,/^```$/p' README.md | sed '1d;$d' >"$work/prog.c"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror "$work/prog.c" $(pkg-config --cflags --libs bsv2) -o "$work/prog"
echo "C through pkg-config: $("$work/prog" "$model")"
# A C++ program through find_package, and a C-only one with both libraries.
for consumer in cxx c; do
  cmake -S shape/tests/install/$consumer -B "$work/$consumer" >/dev/null
  cmake --build "$work/$consumer" >/dev/null
done
echo "C++ through find_package: $("$work/cxx/consumer" "$model" "$work/copy.bsv2")"
echo "C through find_package, shared: $("$work/c/consumer_shared" "$model" "$work/copy.bsv2")"
echo "C through find_package, static: $("$work/c/consumer_static" "$model" "$work/copy.bsv2")"
(cd "$work" && /usr/bin/python3 -c "import bsv2, bsv2_meshio, meshio
points, triangles = bsv2.read('$model')
print('Python:', bsv2.__file__, points.shape, triangles.shape, len(meshio.read('$model').cells[0]))")
echo "From PATH: $(command -v bsv2-info bsv2-snapshot | tr '\n' ' ')"
bsv2-info "$model"
bsv2-snapshot --size 96 "$model" "$work/snapshot.png"
echo "man -w bsv2-viewer: $(man -w bsv2-viewer)"
echo "the web page: $(stat -c '%n, %s bytes' /usr/share/bsv2/web/bsv2-viewer.html)"

# A thumbnail through the desktop's own thumbnail factory, which runs the
# installed thumbnailer in its sandbox, into a scratch cache.
cp "$model" "$work/cube.bsv2"
XDG_CACHE_HOME=$work/cache /usr/bin/python3 - "$work/cube.bsv2" <<'EOF'
import os, sys
import gi
gi.require_version("GnomeDesktop", "3.0")
from gi.repository import Gio, GnomeDesktop
path = sys.argv[1]
uri = Gio.File.new_for_path(path).get_uri()
mtime = int(os.stat(path).st_mtime)
size = GnomeDesktop.DesktopThumbnailSize.NORMAL
factory = GnomeDesktop.DesktopThumbnailFactory.new(size)
if not factory.can_thumbnail(uri, "model/x-bsv2", mtime):
    sys.exit("the thumbnail factory knows no thumbnailer for model/x-bsv2")
picture = factory.generate_thumbnail(uri, "model/x-bsv2")
factory.save_thumbnail(picture, uri, mtime)
saved = GnomeDesktop.desktop_thumbnail_path_for_uri(uri, size)
print("thumbnail by the desktop's factory: %s, %d x %d" % (saved, picture.get_width(), picture.get_height()))
if not os.path.exists(saved):
    sys.exit("no thumbnail saved")
EOF
cp "$work"/cache/thumbnails/normal/*.png out/debian/factory-thumbnail.png
echo "(kept as out/debian/factory-thumbnail.png)"
