#!/usr/bin/env bash
# Configures, builds and installs the library alone from SOURCE, as someone
# with only CMake and a C++ compiler would: every other part switched off,
# and the packages the others need hidden from CMake as if not installed.
#   build-alone.sh SOURCE
set -euo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
hidden=()
for package in OpenGL GLUT assimp nlohmann_json GTest pybind11 Python PkgConfig; do
  hidden+=("-DCMAKE_DISABLE_FIND_PACKAGE_$package=ON")
done
# emscripten is a program, not a package: its variable set to not-found
# hides it.
hidden+=(-DBSV2_EMCC=BSV2_EMCC-NOTFOUND)
cmake -S "$source" -B "$work/build" -DBSV2_BUILD_VIEWER=OFF -DBSV2_BUILD_CONVERTER=OFF -DBSV2_BUILD_PYTHON=OFF \
  -DBUILD_TESTING=OFF "${hidden[@]}" >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
grep -q "No emcc: the npm package is not built" "$work/configure.log" ||
  { echo "no message saying the npm package is skipped" >&2; cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" || { cat "$work/build.log"; exit 1; }
cmake --install "$work/build" --prefix "$work/prefix" >/dev/null
for installed in include/bsv2/shape.h lib/libbsv2.a lib/pkgconfig/bsv2.pc lib/cmake/bsv2/bsv2Config.cmake; do
  [ -e "$work/prefix/$installed" ] || { echo "not installed: $installed" >&2; exit 1; }
done
echo "library alone: configured, built and installed with the other parts off"
