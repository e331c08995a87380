#!/usr/bin/env bash
# Installs what is missing, checks the layout of the code, builds everything
# with warnings as errors and runs every test: the whole suite (with programs
# built against the installed library), the npm package (the library as
# WebAssembly against the native one, the three.js loader and exporter, its
# declarations, and its tarball installed with the network off) and the web
# page (in headless Chromium: its pictures against bsv2-snapshot's, its use,
# and opened from disk with the network off), a shared
# build's exported symbols and its consumers, the Python module installed by
# pip and tested there, the converter on mutated mesh files
# ($CONVERT_FUZZ_SECONDS, default 60), the whole suite again built with
# AddressSanitizer and UBSan, the reader's two threads against one built
# with ThreadSanitizer, each fuzz target for a bounded time
# ($FUZZ_SECONDS each, default 60), and last the Debian
# packages: lintian, a real install, use and purge.
# A build that fails ends the run with status 70. With CI set (CI runs this
# on fresh machines, where everything a test needs is there), a test that
# skips itself fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/build-steps.sh

bash tools/install-deps.sh test
jobs=$(nproc)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# run_tests BUILD [REQUIRE_ALL] [CTEST_OPTION...]: ctest with the run's
# options (and those given), then the reason each skipped test gave (ctest
# shows only their names); with REQUIRE_ALL set, a skip fails the run.
run_tests() {
  local build=$1 require=${2:-} status=0
  shift $(($# < 2 ? $# : 2))
  ctest --test-dir "$build" -j "$jobs" --output-on-failure --no-tests=error "$@" | tee "$scratch/ctest.log" ||
    status=$?
  [ "$status" -eq 0 ] || exit "$status"
  sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$scratch/ctest.log" >"$scratch/skipped"
  [ -s "$scratch/skipped" ] || return 0
  echo "Skipped, and why:" >&2
  awk 'NR == FNR { skipped[$0] = 1; next }
       / Testing: / { name = $0; sub(/^[0-9]+\/[0-9]+ Testing: /, "", name) }
       /^<end of output>$/ { inside = 0 }
       inside && skipped[name] && !/^(\[|Running main|Note: Google Test|$)/ { print "  " name ": " $0 }
       /^Output:$/ { inside = 1; getline }' "$scratch/skipped" "$build/Testing/Temporary/LastTest.log" >&2
  if [ "$require" = REQUIRE_ALL ] && [ -n "${CI:-}" ]; then
    echo "tests skipped in CI, where everything they need is installed" >&2
    exit 1
  fi
}

echo "== the code as .clang-format lays it out" >&2
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run --Werror

echo "== build and test" >&2
cmake -S . -B build -DBUILD_TESTING=ON -DBSV2_WERROR=ON -DBSV2_REQUIRE_VIEWER=ON -DBSV2_REQUIRE_SNAPSHOT=ON \
  -DBSV2_REQUIRE_CONVERTER=ON -DBSV2_REQUIRE_PYTHON=ON -DBSV2_REQUIRE_MANPAGES=ON -DBSV2_REQUIRE_WEB=ON >/dev/null ||
  build_failed "configuring the build"
cmake --build build -j "$jobs" || build_failed "building the tree"
run_tests build REQUIRE_ALL -E '^Web\.'

echo "== the npm package: against the native library, three.js, TypeScript, installed offline from npm pack;" \
  "the web page in headless Chromium" >&2
run_tests build REQUIRE_ALL -R '^Web\.' --verbose

echo "== shared libbsv2: exported symbols, programs and the Python module built against it" >&2
cmake -S . -B build-shared -DBUILD_SHARED_LIBS=ON -DBUILD_TESTING=OFF -DBSV2_WERROR=ON -DBSV2_REQUIRE_VIEWER=ON \
  -DBSV2_REQUIRE_CONVERTER=ON >/dev/null || build_failed "configuring the shared build"
cmake --build build-shared -j "$jobs" || build_failed "building the shared build"
bash tools/check-exports.sh build-shared/shape/libbsv2.so
for kind in c cxx c-cmake python; do
  bash shape/tests/install/consume.sh "$kind" build-shared models/cube.bsv2
done

echo "== pip install . into a fresh venv, the Python tests against that install, the wheel" >&2
venv=$scratch/venv
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install -q --no-build-isolation --no-index . 2>&1 | grep -v "_BetaConfiguration\|^ *warnings.warn" >&2 || true
"$venv/bin/python" -c "import bsv2" 2>/dev/null || { echo "pip install . did not install bsv2" >&2; exit 1; }
version=$(sed -n 's/^project(bsv2 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
root=$PWD
# From the venv's folder, so that nothing of the tree's is imported instead.
(cd "$venv" && "$venv/bin/python" -c "import bsv2, bsv2_meshio; print('installed by pip:', bsv2.__file__)" &&
  BSV2_PROJECT_VERSION=$version BSV2_CONVERTER=$root/build/converter/bsv2-convert \
    "$venv/bin/python" -m pytest -q -p no:cacheprovider "$root/python/tests")
quietly "building the wheel" /usr/bin/python3 -m build --no-isolation --wheel --outdir "$scratch/dist" .
echo "wheel: $(basename "$scratch"/dist/*.whl)"

echo "== bsv2-convert on mutated mesh files" >&2
/usr/bin/python3 converter/fuzz/convert_fuzz.py build/converter/bsv2-convert --seconds "${CONVERT_FUZZ_SECONDS:-60}" --seed 1

echo "== build with -fsanitize=address,undefined and test" >&2
cmake -S . -B build-asan -DBUILD_TESTING=ON -DBSV2_WERROR=ON -DBSV2_SANITIZE=ON -DBSV2_REQUIRE_VIEWER=ON \
  -DBSV2_REQUIRE_SNAPSHOT=ON -DBSV2_REQUIRE_CONVERTER=ON >/dev/null || build_failed "configuring the sanitizer build"
cmake --build build-asan -j "$jobs" || build_failed "building the sanitizer build"
run_tests build-asan

echo "== build the reader's two-thread tests with -fsanitize=thread and test" >&2
cmake -S . -B build-tsan -DBUILD_TESTING=ON -DBSV2_WERROR=ON -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread -DBSV2_BUILD_VIEWER=OFF \
  -DBSV2_BUILD_CONVERTER=OFF -DBSV2_BUILD_SNAPSHOT=OFF -DBSV2_BUILD_INFO=OFF -DBSV2_BUILD_PYTHON=OFF \
  -DBSV2_BUILD_BENCH=OFF -DBSV2_BUILD_WEB=OFF -DBSV2_BUILD_DESKTOP=OFF >/dev/null ||
  build_failed "configuring the ThreadSanitizer build"
cmake --build build-tsan -j "$jobs" --target split_read_tests || build_failed "building the ThreadSanitizer build"
TSAN_OPTIONS=halt_on_error=1 run_tests build-tsan REQUIRE_ALL -R SecondThread

echo "== fuzzing" >&2
bash shape/fuzz/run.sh

echo "== Debian packages: lintian, installed for real, used, purged" >&2
bash tools/debian-packages.sh check
