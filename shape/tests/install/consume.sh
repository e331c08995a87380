#!/usr/bin/env bash
# Installs the build tree BUILD into a fresh prefix, then builds and runs a
# program against it as a user outside the tree would:
#   consume.sh c BUILD MODEL     a C99 program, with cc and pkg-config
#   consume.sh cxx BUILD MODEL   a C++ program, with CMake's find_package
set -euo pipefail
kind=$1 build=$2 model=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
case "$kind" in
  c)
    pc=$(dirname "$(find "$work/prefix" -name bsv2.pc)")
    flags=$(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs bsv2)
    echo "cc -std=c99 consumer.c $flags"
    # shellcheck disable=SC2086
    cc -std=c99 -Wall -Wextra -pedantic -Werror "$here/consumer.c" $flags -o "$work/consumer"
    ;;
  cxx)
    cmake -S "$here" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
    cmake --build "$work/build" >/dev/null
    mv "$work/build/consumer" "$work/consumer"
    ;;
esac
# A shared libbsv2 is found next to the installed prefix, not the build tree.
LD_LIBRARY_PATH=$(dirname "$(find "$work/prefix" -name 'libbsv2.*' | head -1)") "$work/consumer" "$model" "$work/copy.bsv2"
