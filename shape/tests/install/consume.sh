#!/usr/bin/env bash
# Installs the build tree BUILD into a fresh prefix, then builds and runs a
# program against it as a user outside the tree would:
#   consume.sh c BUILD MODEL        a C99 program, with cc and pkg-config
#   consume.sh cxx BUILD MODEL      a C++ program, with CMake's find_package
#   consume.sh c-cmake BUILD MODEL  a C-only CMake project, linking the shared
#                                   and the static library
#   consume.sh python BUILD MODEL   the Python module, imported from the prefix
set -euo pipefail
kind=$1 build=$2 model=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
run() { "$@" "$model" "$work/copy.bsv2"; }
case "$kind" in
  c)
    pc=$(dirname "$(find "$work/prefix" -name bsv2.pc)")
    flags=$(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs bsv2)
    echo "cc -std=c99 consumer.c $flags"
    # shellcheck disable=SC2086
    cc -std=c99 -Wall -Wextra -pedantic -Werror "$here/consumer.c" $flags -o "$work/consumer"
    # The shared library is found from the prefix, not the build tree.
    LD_LIBRARY_PATH=$(dirname "$(find "$work/prefix" -name 'libbsv2.so.*' | head -1)") run "$work/consumer"
    ;;
  cxx | c-cmake)
    options=(-S "$here/cxx")
    [ "$kind" = c-cmake ] && options=(-S "$here/c" -DCMAKE_C_FLAGS="-Wall -Werror")
    cmake "${options[@]}" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
    cmake --build "$work/build" >/dev/null
    for program in "$work"/build/consumer*; do
      # The static consumer must not need the shared library at all.
      if [[ "$program" == *_static ]] && ldd "$program" | grep -q libbsv2; then
        echo "$program links the shared libbsv2" >&2
        exit 1
      fi
      echo "$(basename "$program"): $(LD_LIBRARY_PATH=$(dirname "$(find "$work/prefix" -name 'libbsv2.so.*' | head -1)") run "$program" | tr '\n' ' ')"
    done
    ;;
  python)
    # No LD_LIBRARY_PATH: the module finds a shared libbsv2 from its own place.
    module=$(find "$work/prefix" -name 'bsv2.cpython-*.so')
    (cd "$work" && PYTHONPATH=$(dirname "$module") /usr/bin/python3 -c "import bsv2
points, triangles = bsv2.read('$model')
print('bsv2', bsv2.__version__, 'from the prefix:', points.shape, triangles.shape)")
    ;;
esac
