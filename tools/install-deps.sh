#!/usr/bin/env bash
# Installs the Debian packages this project needs that are not installed yet.
#   tools/install-deps.sh view      what building and showing the viewer needs
#   tools/install-deps.sh snapshot  what drawing its picture without a display needs
#   tools/install-deps.sh convert   what building the converter needs
#   tools/install-deps.sh python    what the Python module needs
#   tools/install-deps.sh web       what the npm package (the library as WebAssembly) and the web page need
#   tools/install-deps.sh chromium  what the web page's tests run it in
#   tools/install-deps.sh test      all of these, plus what the tests need
#   tools/install-deps.sh package   all of test, plus what making and trying the Debian packages needs
#   tools/install-deps.sh bench     what the benchmark needs
#   tools/install-deps.sh fresh-machine  what tools/fresh-machine.sh makes its Debian root with
#   tools/install-deps.sh figures   what tools/code-figures.py finds functions with
# Each set is whole on its own: any of them may be the first thing run on a
# fresh machine.
set -euo pipefail

# The compiler and the build tools every set starts from.
build_packages=(cmake make g++ pkg-config)
# The viewer (GL, GLU, freeglut), and what its window tests need: an X
# server without a screen, xwininfo and xwd to find and grab the window,
# netpbm to read the grab.
view_packages=("${build_packages[@]}" freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri xvfb
               x11-utils x11-apps netpbm)
# bsv2-snapshot: EGL on Mesa's software rasterizer, and libpng.
snapshot_packages=("${build_packages[@]}" libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
                   libpng-dev)
# The converter: Assimp, libseccomp, nlohmann-json. Debian's Assimp CMake
# files name libz.so, which libassimp-dev does not bring.
convert_packages=("${build_packages[@]}" libassimp-dev zlib1g-dev libseccomp-dev nlohmann-json3-dev)
# pip install . builds the module with setuptools and pybind11's helper,
# offline, into a venv that sees the system's packages.
pip_packages=(g++ python3-dev python3-venv python3-pip python3-wheel python3-setuptools python3-pybind11
              python3-build)
# The Python module (pybind11, NumPy), its meshio plugin and its tests.
python_packages=("${build_packages[@]}" pybind11-dev python3-dev python3-numpy python3-meshio python3-pytest
                 "${pip_packages[@]}")
# The npm package: Debian's emscripten (with its cache as Debian ships it)
# compiles the library, node runs the package's tests and benchmark, and npm
# installs their modules from the lockfile over HTTPS, which needs the
# system's certificates on a fresh machine. (unshare, for the offline
# install, is in util-linux, which every Debian system has.)
web_packages=("${build_packages[@]}" emscripten nodejs npm ca-certificates)
# The web page's tests: Debian's Chromium, headless, drawing WebGL with its
# own software renderer (SwiftShader), so no GPU or display is needed.
chromium_packages=(chromium)
# scdoc makes the manual pages; the desktop's own tools check the MIME type,
# desktop entry, metainfo and thumbnailer (bubblewrap is the sandbox
# thumbnail factories run thumbnailers in). The thumbnail hosts tried for
# real: GNOME's factory (from Python, through gobject-introspection) and
# XFCE's thumbnail service, tumbler, on a private session bus (dbus-daemon
# has dbus-run-session).
desktop_packages=(scdoc man-db shared-mime-info desktop-file-utils appstream libglib2.0-bin xdg-utils bubblewrap
                  python3-gi gir1.2-gnomedesktop-3.0 tumbler dbus-daemon)
# clang and its runtime build the fuzz targets; llvm-14 gives their reports
# symbols; locales-all has the comma-decimal locales the locale test uses;
# liburing is the reader test's io_uring stand-in; dpkg-dev fills in the
# Debian packages' dependencies; assimp-testmodels are the models
# converter/convert-test-models.sh and converter/trace-import-calls.sh run
# over, the latter with strace.
test_packages=("${view_packages[@]}" "${snapshot_packages[@]}" "${convert_packages[@]}" "${python_packages[@]}"
               "${web_packages[@]}" "${chromium_packages[@]}" "${desktop_packages[@]}" clang-format liburing-dev dpkg-dev
               libgtest-dev clang libclang-rt-14-dev llvm-14 locales-all assimp-testmodels strace)
# What building the Debian packages and trying them as a user needs: the
# package checker (the thumbnail hosts are in the test set).
package_packages=("${test_packages[@]}" dpkg-dev lintian file gcc)
# The benchmark builds the library, bsv2-info, the Python module, the
# snapshot and the converter; /usr/bin/time measures peak memory; f3d (with
# xauth for xvfb-run) is the peer the snapshot is timed against, on a mesh
# of assimp-testmodels.
bench_packages=("${view_packages[@]}" "${snapshot_packages[@]}" "${convert_packages[@]}" pybind11-dev python3-dev
                python3-numpy time bc f3d xauth assimp-testmodels)
# tools/fresh-machine.sh: debootstrap makes the root, util-linux's unshare
# and pivot_root enter it.
fresh_machine_packages=(debootstrap util-linux)
# tools/code-figures.py: Universal Ctags finds the functions.
figures_packages=(universal-ctags)

case "${1:-}" in
  view) wanted=("${view_packages[@]}") ;;
  snapshot) wanted=("${snapshot_packages[@]}") ;;
  convert) wanted=("${convert_packages[@]}") ;;
  python) wanted=("${python_packages[@]}") ;;
  web) wanted=("${web_packages[@]}") ;;
  chromium) wanted=("${chromium_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  package) wanted=("${package_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  fresh-machine) wanted=("${fresh_machine_packages[@]}") ;;
  figures) wanted=("${figures_packages[@]}") ;;
  *) echo "usage: $0 view|snapshot|convert|python|web|chromium|test|package|bench|fresh-machine|figures" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing ${#missing[@]} packages and what they need: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "Missing packages (${missing[*]}) and not root: install them as root." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Another apt run (an unattended upgrade, a second script) may hold the lock
# for a while: wait for it rather than fail.
apt=("${sudo[@]}" apt-get -q -o DPkg::Lock::Timeout=900)
# apt's and dpkg's own output only when they fail.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
before=$(dpkg-query -W | wc -l)
started=$SECONDS
if ! { "${apt[@]}" update && "${apt[@]}" install -y --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "$(basename "$0"): apt-get could not install them" >&2
  exit 1
fi
echo "Installed $(($(dpkg-query -W | wc -l) - before)) packages in $((SECONDS - started)) s" >&2
