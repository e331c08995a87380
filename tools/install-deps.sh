#!/usr/bin/env bash
# Installs the Debian packages this project needs that are not installed yet.
#   tools/install-deps.sh view   what building and showing the viewer needs
#   tools/install-deps.sh snapshot  what drawing its picture without a display needs
#   tools/install-deps.sh test   all of that, plus what the tests need
#   tools/install-deps.sh convert  what building the converter needs
#   tools/install-deps.sh package  all of test, plus what making and trying the Debian packages needs
#   tools/install-deps.sh bench  what the benchmark needs
#   tools/install-deps.sh python what the Python module needs
set -euo pipefail

view_packages=(cmake make g++ pkg-config freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev
               libgl1-mesa-dri xvfb x11-utils x11-apps netpbm)
snapshot_packages=(cmake make g++ pkg-config libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
                   libpng-dev)
# clang and its runtime build the fuzz targets; llvm-14 gives their reports
# symbols; locales-all has the comma-decimal locales the locale test uses;
# dpkg-dev fills in the Debian package's dependencies; pybind11 and the
# Python packages build and test the Python module.
convert_packages=(cmake make g++ pkg-config freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libassimp-dev libseccomp-dev
                  nlohmann-json3-dev)
# scdoc makes the manual pages; the desktop's own tools check the MIME type,
# desktop entry, metainfo and thumbnailer (bubblewrap is the sandbox
# thumbnail factories run thumbnailers in).
desktop_packages=(scdoc man-db shared-mime-info desktop-file-utils appstream libglib2.0-bin xdg-utils bubblewrap)
test_packages=("${view_packages[@]}" "${snapshot_packages[@]}" "${desktop_packages[@]}" "${pip_packages[@]}" clang-format
               libassimp-dev libseccomp-dev nlohmann-json3-dev liburing-dev dpkg-dev pybind11-dev python3-dev
               python3-numpy python3-meshio python3-pytest libgtest-dev clang libclang-rt-14-dev llvm-14 locales-all)
# f3d (with xauth for xvfb-run) is the peer the snapshot is timed against,
# on a mesh of assimp-testmodels.
# What building the Debian packages and trying them as a user needs: the
# package checker, and the desktop's own thumbnail factory (from Python).
package_packages=(dpkg-dev lintian file gcc gir1.2-gnomedesktop-3.0 python3-gi)
bench_packages=("${view_packages[@]}" "${snapshot_packages[@]}" time bc pybind11-dev python3-dev python3-numpy
                libassimp-dev libseccomp-dev nlohmann-json3-dev f3d xauth assimp-testmodels)
# pip install . builds the module with setuptools and pybind11's helper,
# offline, into a venv that sees the system's packages.
pip_packages=(g++ python3-dev python3-venv python3-pip python3-wheel python3-setuptools python3-pybind11 python3-build)
python_packages=(cmake make g++ pkg-config pybind11-dev python3-dev python3-numpy python3-meshio python3-pytest
                 "${pip_packages[@]}")

case "${1:-}" in
  view) wanted=("${view_packages[@]}") ;;
  snapshot) wanted=("${snapshot_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  convert) wanted=("${convert_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  package) wanted=("${test_packages[@]}" "${package_packages[@]}") ;;
  python) wanted=("${python_packages[@]}") ;;
  *) echo "usage: $0 view|snapshot|convert|test|package|bench|python" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "Missing packages (${missing[*]}) and not root: install them as root." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
