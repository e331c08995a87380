#!/usr/bin/env bash
# BSV2 as the desktop sees it, checked with the desktop's own tools: the
# build tree BUILD is installed into a scratch prefix and registered in
# scratch XDG folders, touching nothing of the machine's own.
#   desktop-integration.sh BUILD MODEL.bsv2
set -euo pipefail
build=$1 model=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
id=invalid.bsv2.Viewer
fail() { echo "FAILED: $*" >&2; exit 1; }

export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
export XDG_DATA_DIRS=$XDG_DATA_HOME:/usr/share GIO_USE_VFS=local
mkdir -p "$XDG_DATA_HOME/mime/packages" "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
cp "$share/mime/packages/bsv2.xml" "$XDG_DATA_HOME/mime/packages/"
cp "$share/applications/$id.desktop" "$XDG_DATA_HOME/applications/"
update-mime-database "$XDG_DATA_HOME/mime"
update-desktop-database "$XDG_DATA_HOME/applications"

# Typed by name, and by content when the name says nothing.
cp "$model" "$work/cube.bsv2"
cp "$model" "$work/no-extension"
for file in cube.bsv2 no-extension; do
  line=$(gio info -a standard::content-type "$work/$file" | grep 'standard::content-type')
  echo "gio info $file: $line"
  [[ "$line" == *"standard::content-type: model/x-bsv2" ]] || fail "$file is not typed model/x-bsv2"
done

desktop-file-validate "$share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
default=$(xdg-mime query default model/x-bsv2)
echo "xdg-mime query default model/x-bsv2: $default"
[ "$default" = "$id.desktop" ] || fail "the viewer is not the default for model/x-bsv2"
[ -f "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no icon"

# The thumbnailer's Exec line as a thumbnail factory runs it: in a bubblewrap
# sandbox that sees only /usr and the prefix (read-only), with a private
# /tmp holding the input and the output, no network, no display.
exec_line=$(sed -n 's/^Exec=//p' "$share/thumbnailers/bsv2.thumbnailer")
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

# Every manual page renders without a warning.
pages=$(find "$share/man" -name '*.gz' | sort)
[ "$(echo "$pages" | wc -l)" -ge 6 ] || fail "manual pages missing: $pages"
for page in $pages; do
  warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings $page: $warnings"
done
echo "manual pages clean under man --warnings: $(echo "$pages" | xargs -n1 basename | tr '\n' ' ')"
