#!/usr/bin/env bash
# The thumbnailer as the desktop's own hosts run it, on a cube and on the
# 10 MB worst case (which must fail within the thumbnailer's budget):
#   gnome    GNOME's thumbnail factory, from Python, in its bubblewrap
#            sandbox. That sandbox sees only /usr, so the build tree is
#            installed into /usr/local in a private mount namespace (over a
#            tmpfs there), touching nothing of the machine's own.
#   tumbler  XFCE's thumbnail service, tumblerd, on a private session bus
#            (dbus-run-session), asked over D-Bus; it runs the thumbnailer
#            from a scratch prefix.
# Scratch XDG folders tell the hosts where the thumbnailer and the MIME
# type are.
#   thumbnail-hosts.sh gnome|tumbler BUILD MODEL.bsv2 MAKE-WORST-CASE.sh
# Exits 77 (skipped, with the reason) where the host cannot run.
set -euo pipefail
host=$1 build=$2 model=$3 make_worst_case=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
skip() { echo "skipped: $*"; exit 77; }

/usr/bin/python3 -c 'import gi' 2>/dev/null || skip "Python's gi is not installed (python3-gi)"
mkdir -p "$work/data" "$work/config" "$work/cache" "$work/files"
cp "$model" "$work/files/cube.bsv2"
bash "$make_worst_case" --outside 10 "$work/files/worst-case.bsv2"
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache GIO_USE_VFS=local

case "$host" in
  gnome)
    /usr/bin/python3 -c 'import gi; gi.require_version("GnomeDesktop", "3.0")' 2>/dev/null ||
      skip "GNOME's thumbnail factory is not installed (gir1.2-gnomedesktop-3.0)"
    if ! refusal=$(bwrap --ro-bind / / --unshare-all --die-with-parent true 2>&1); then
      skip "bubblewrap cannot make the factory's sandbox here: $refusal"
    fi
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(--map-root-user)
    if ! refusal=$(unshare "${as_root[@]}" --mount true 2>&1); then
      skip "no private mount namespace for an install under /usr: $refusal"
    fi
    # shellcheck disable=SC2016
    unshare "${as_root[@]}" --mount bash -c '
      set -euo pipefail
      mount --make-rprivate /
      mount -t tmpfs tmpfs /usr/local
      cmake --install "$1" --prefix /usr/local >/dev/null
      export XDG_DATA_DIRS=/usr/local/share:/usr/share
      update-mime-database /usr/local/share/mime
      PATH=/usr/local/bin:$PATH /usr/bin/python3 "$2" gnome "$3/cube.bsv2" "$3/worst-case.bsv2"' \
      thumbnail-hosts "$build" "$here/thumbnail_hosts.py" "$work/files"
    ;;
  tumbler)
    tumblerd=$(compgen -G '/usr/lib/*/tumbler-1/tumblerd' | head -n 1 || true)
    [ -n "$tumblerd" ] || skip "XFCE's thumbnail service is not installed (tumbler)"
    command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed (dbus-daemon)"
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >/dev/null
    export XDG_DATA_DIRS=$prefix/share:/usr/share
    update-mime-database "$prefix/share/mime"
    PATH=$prefix/bin:$PATH dbus-run-session -- /usr/bin/python3 "$here/thumbnail_hosts.py" tumbler "$tumblerd" "$work/files/cube.bsv2" \
      "$work/files/worst-case.bsv2" 2> >(grep -v 'Failed to set fd limit' >&2)
    ;;
  *) echo "usage: $0 gnome|tumbler BUILD MODEL.bsv2 MAKE-WORST-CASE.sh" >&2; exit 2 ;;
esac
