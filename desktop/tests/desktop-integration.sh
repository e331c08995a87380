#!/usr/bin/env bash
# BSV2 as the desktop sees it, checked with the desktop's own tools: the
# build tree BUILD is installed into a scratch prefix and registered in
# scratch XDG folders, touching nothing of the machine's own. (The
# thumbnailer in its sandbox is thumbnail-sandboxed.sh.)
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

# Every manual page renders without a warning.
pages=$(find "$share/man" -name '*.gz' | sort)
[ "$(echo "$pages" | wc -l)" -ge 6 ] || fail "manual pages missing: $pages"
for page in $pages; do
  warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings $page: $warnings"
done
echo "manual pages clean under man --warnings: $(echo "$pages" | xargs -n1 basename | tr '\n' ' ')"
