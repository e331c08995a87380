# Sourced by the scripts that build: one way to say that a build failed.
# A failed build exits with status 70 (EX_SOFTWARE in <sysexits.h>) in
# every script, so that it is never taken for one of the programs' own
# statuses (1 to 4).

# build_failed WHAT: says that WHAT failed, in the calling script's name, and
# exits 70.
build_failed() {
  echo "$(basename "$0"): $1 failed (its output is above); nothing was run" >&2
  exit 70
}

# quietly WHAT COMMAND...: runs COMMAND with its output kept aside, shown
# only when it fails, then build_failed WHAT.
quietly() {
  local what=$1 log
  shift
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    build_failed "$what"
  fi
  rm -f "$log"
}
