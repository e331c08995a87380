#!/usr/bin/env bash
# Converts every model of Debian's assimp-testmodels to BSV2 and writes what
# became of each, one tab-separated line per model: its path, the exit
# status, the counts of the summary line (or, when refused, the reason), so
# that two builds of the converter can be compared model by model. Prints
# how many ended with each status.
#   converter/convert-test-models.sh CONVERTER TABLE [BASELINE]
# With BASELINE (a TABLE an earlier build wrote), also lists the models whose
# status or counts differ, and the refusals whose reason changed, and exits 1
# when a status or a count differs. Every import gets 120 s, so that a busy
# machine does not turn a slow model into a refusal.
set -euo pipefail
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 CONVERTER TABLE [BASELINE]" >&2
  exit 2
fi
converter=$(realpath "$1")
table=$2
baseline=${3:-}
here=$(cd "$(dirname "$0")" && pwd)

mapfile -t models < <("$here/list-test-models.sh")
[ ${#models[@]} -gt 0 ] || { echo "$0: no models: install assimp-testmodels" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/table"
for model in "${models[@]}"; do
  status=0
  "$converter" --timeout 120 "$model" "$work/out.bsv2" >"$work/out" 2>"$work/err" </dev/null || status=$?
  if [ "$status" -eq 0 ]; then
    what=$(sed 's/^.*: //' "$work/out")
  else
    # The reason without the converter's name and the path.
    what=$(head -n 1 "$work/err" | cut -c $((${#model} + 17))-)
  fi
  printf '%s\t%s\t%s\n' "$model" "$status" "$what" >>"$work/table"
  rm -f "$work/out.bsv2"
done
cp "$work/table" "$table"
ends=$(cut -f 2 "$table" | sort -n | uniq -c | awk '{print $1 " exited " $2}' | paste -sd ',' | sed 's/,/, /g')
echo "${#models[@]} models: $ends"
[ -n "$baseline" ] || exit 0

# Status and counts must agree; a refusal's reason may be worded anew.
changed=$(join -t $'\t' -j 1 <(sort "$baseline") <(sort "$table") |
          awk -F '\t' '$2 != $4 || ($2 == 0 && $3 != $5) {print "differs: " $1 ": " $2 " " $3 " -> " $4 " " $5}')
reworded=$(join -t $'\t' -j 1 <(sort "$baseline") <(sort "$table") |
           awk -F '\t' '$2 == $4 && $2 != 0 && $3 != $5 {print "reworded: " $1 ": " $3 " -> " $5}')
missing=$(cut -f 1 "$baseline" | sort | comm -3 - <(cut -f 1 "$table" | sort) | sed 's/^\t*/only in one table: /')
[ -z "$reworded" ] || echo "$reworded"
if [ -n "$changed$missing" ]; then
  printf '%s\n' "$changed" "$missing" | sed '/^$/d'
  exit 1
fi
echo "same statuses and counts as $baseline"
