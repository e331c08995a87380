#!/usr/bin/env bash
# The installed thumbnailer's Exec line run as a thumbnail factory runs it:
# in a bubblewrap sandbox that sees only /usr and the prefix (read-only),
# with a private /tmp holding the input and the output, no network, no
# display. The build tree BUILD is installed into a scratch prefix.
#   thumbnail-sandboxed.sh BUILD MODEL.bsv2
# Exits 77 (skipped, with the reason) where bubblewrap cannot make its
# namespaces, as in many containers: the desktop's factory could not run
# any thumbnailer there either.
set -euo pipefail
build=$1 model=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

if ! refusal=$(bwrap --ro-bind / / --unshare-all --die-with-parent true 2>&1); then
  echo "skipped: bubblewrap cannot make a sandbox here: $refusal"
  exit 77
fi

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
exec_line=$(sed -n 's/^Exec=//p' "$prefix/share/thumbnailers/bsv2.thumbnailer")
mkdir "$work/sandbox-tmp"
cp "$model" "$work/sandbox-tmp/input.bsv2"
command=${exec_line//%s/128}
command=${command//%i//tmp/input.bsv2}
command=${command//%o//tmp/thumbnail.png}
# shellcheck disable=SC2086
# (The private /tmp first: the scratch prefix lies under the real one.)
env -u DISPLAY -u WAYLAND_DISPLAY bwrap --ro-bind /usr /usr --bind "$work/sandbox-tmp" /tmp \
  --ro-bind "$prefix" "$prefix" --symlink usr/lib /lib --symlink usr/lib64 /lib64 --symlink usr/bin /bin \
  --symlink usr/sbin /sbin --proc /proc --dev /dev --unshare-all --die-with-parent \
  --setenv PATH "$prefix/bin:/usr/bin" $command || fail "the thumbnailer failed in the sandbox: $command"
pngtopnm "$work/sandbox-tmp/thumbnail.png" >"$work/thumbnail.ppm"
size=$(sed -n 2p "$work/thumbnail.ppm")
echo "thumbnail made in the sandbox by '$command': $size"
[ "$size" = "128 128" ] || fail "the thumbnail is not 128 x 128"
