#!/usr/bin/env bash
# Lists the system calls bsv2-convert's import child makes once its seccomp
# filter is loaded, over many mesh files: how the filter's allow-list was
# found, and how to check it after Assimp changes. Calls the filter or
# Landlock refused are listed apart, with the file that made them.
#   converter/trace-import-calls.sh CONVERTER [MESH...]
# Without meshes: every model of Debian's assimp-testmodels, the fuzzer's
# seeds and the files that once broke the converter. Needs strace. For a
# sanitizer build, run it with ASAN_OPTIONS=detect_leaks=0.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
converter=$(realpath "$1")
shift
if [ $# -eq 0 ]; then
  mapfile -t meshes < <("$here/list-test-models.sh"; ls "$here"/fuzz/seeds/* "$here"/tests/regressions/*)
else
  meshes=("$@")
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for mesh in "${meshes[@]}"; do
  rm -rf "$work/trace" && mkdir "$work/trace"
  timeout 120 strace -f -ff -o "$work/trace/t" "$converter" --timeout 20 "$mesh" "$work/out.bsv2" >/dev/null 2>&1 || true
  # The child's trace from its filter on; the filter's own load is the last
  # seccomp() with a program.
  for trace in "$work"/trace/t.*; do
    grep -q 'SECCOMP_SET_MODE_FILTER, 0, {len' "$trace" || continue
    sed -n '/SECCOMP_SET_MODE_FILTER, 0, {len/,$p' "$trace" | sed 1d | sed "s|\$|\t$mesh|" >>"$work/calls"
  done
  rm -f "$work/out.bsv2"
done
echo "== calls made after the filter was loaded (count, name)"
grep -oE '^[a-z_0-9]+\(' "$work/calls" | tr -d '(' | sort | uniq -c | sort -rn
echo "== refused (ENOSYS: not on the allow-list; EACCES: opening for writing, or Landlock)"
grep -E '= -1 (ENOSYS|EACCES)' "$work/calls" | sed -E 's/0x[0-9a-f]+/ADDR/g; s/\t.*//' | sort | uniq -c | sort -rn || true
