#!/usr/bin/env bash
# Runs commands as root on a fresh minimal Debian 12 machine, from a clone of
# this repository:
#   tools/fresh-machine.sh CMD...
# The machine is a new root made by debootstrap --variant=minbase bookworm
# from the Debian mirror this host's apt sources name, with only git and
# ca-certificates added. It is entered as a machine is entered: its own
# mount, PID, IPC and UTS namespaces and pivot_root (never chroot), so that
# bubblewrap, seccomp and Landlock behave inside as they do on a machine,
# with /proc, /sys and /dev of its own and a clean environment (PATH, HOME,
# LANG and TERM; CI passes through, so that the tests know they run in CI).
# The clone is /root/<name of this repository> and the commands run there,
# one shell line each, in order, stopping at the first that fails. The
# script exits with that status and removes the root.
#
# The minbase root is kept as a tarball in /var/cache/bsv2-fresh-machine
# (made anew after a week, or with FRESH_MACHINE_REBUILD=1) and the host's
# apt archive cache is shared, so a second run costs minutes; every run
# unpacks a new root, so none sees what another's commands changed. The
# network is the host's: apt and npm reach their registries from inside.
# As root on a Debian host.
set -euo pipefail

say() { echo "fresh-machine: $*" >&2; }

# --- Inside the new namespaces (the script runs itself as their first process).
if [ "${1:-}" = --enter ]; then
  root=$2 project=$3 ci=$4
  shift 4
  mount --make-rprivate /
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$root/sys"
  # A /dev of its own, as a container manager makes one: the usual nodes
  # bound from the host, its own pseudo-terminals and shared memory.
  mount -t tmpfs -o nosuid,mode=0755 dev "$root/dev"
  for node in null zero full random urandom tty; do
    touch "$root/dev/$node"
    mount --bind "/dev/$node" "$root/dev/$node"
  done
  mkdir -p "$root/dev/pts" "$root/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
  ln -s pts/ptmx "$root/dev/ptmx"
  mount -t tmpfs -o nosuid,nodev,mode=1777 shm "$root/dev/shm"
  ln -s /proc/self/fd "$root/dev/fd"
  ln -s /proc/self/fd/0 "$root/dev/stdin"
  ln -s /proc/self/fd/1 "$root/dev/stdout"
  ln -s /proc/self/fd/2 "$root/dev/stderr"
  mount -t tmpfs -o nosuid,nodev,mode=1777 tmp "$root/tmp"
  mount -t tmpfs -o nosuid,nodev,mode=0755 run "$root/run"
  mount --bind /var/cache/apt/archives "$root/var/cache/apt/archives"
  cd "$root"
  mkdir -p .old-root
  if ! pivot_root . .old-root 2>/dev/null; then
    say "the kernel refuses pivot_root here; not falling back to chroot"
    exit 125
  fi
  cd /
  umount -l /.old-root
  rmdir /.old-root
  hostname fresh-machine
  environment=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
               TERM="${TERM:-dumb}")
  [ -n "$ci" ] && environment+=(CI="$ci")
  if compgen -G '/usr/local/share/ca-certificates/*.crt' >/dev/null; then
    update-ca-certificates >/dev/null 2>&1 || { say "adding the host's certificate authorities failed"; exit 1; }
  fi
  status=0
  for command in "$@"; do
    echo "fresh-machine \$ $command" >&2
    before=$(dpkg-query -W | wc -l) started=$SECONDS
    env -i "${environment[@]}" bash -c "cd /root/$project && $command" || status=$?
    say "status $status after $((SECONDS - started)) s, $(($(dpkg-query -W | wc -l) - before)) packages installed: $command"
    [ "$status" -eq 0 ] || break
  done
  exit "$status"
fi

# --- On the host.
[ $# -gt 0 ] || { echo "usage: $0 CMD..." >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { say "must run as root (it makes a root file system and mounts)"; exit 1; }
repo=$(cd "$(dirname "$0")/.." && pwd)
project=$(basename "$repo")

bash "$repo/tools/install-deps.sh" fresh-machine
if ! unshare --mount --pid --ipc --uts --fork true 2>/dev/null; then
  say "the kernel refuses new mount and PID namespaces here; not falling back to chroot"
  exit 125
fi

# The Debian sources among the host's apt sources: each (URI, suite) whose
# release file, as apt fetched and checked it, says Origin: Debian. Other
# origins (a vendor's repository) are never given to the new machine.
source_pairs() {
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
         {
           types = uris = suites = ""
           for (i = 1; i <= NF; i++) {
             if ($i ~ /^Types:/) types = substr($i, 7)
             if ($i ~ /^URIs:/) uris = substr($i, 6)
             if ($i ~ /^Suites:/) suites = substr($i, 8)
             if ($i ~ /^Enabled: *no/) types = ""
           }
           if (types !~ /(^| )deb( |$)/) next
           n = split(uris, u, " "); m = split(suites, s, " ")
           for (a = 1; a <= n; a++) for (b = 1; b <= m; b++) print u[a], s[b]
         }' "$file"
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\)[[:space:]]\+\([^[:space:]]\+\).*/\2 \3/p' "$file"
  done
}
debian_sources() {
  local uri suite list
  while read -r uri suite; do
    list=/var/lib/apt/lists/$(echo "${uri%/}" | sed 's|^[a-z+]*://||; s|/|_|g')_dists_${suite}_InRelease
    [ -f "$list" ] && grep -q '^Origin: Debian$' "$list" && echo "$uri $suite"
  done < <(source_pairs | sort -u)
  return 0
}
sources=$(debian_sources)
[ -n "$sources" ] || { apt-get -q -o DPkg::Lock::Timeout=900 update >/dev/null; sources=$(debian_sources); }
mirror=$(echo "$sources" | awk '$2 == "bookworm" { print $1; exit }')
[ -n "$mirror" ] || { say "no Debian bookworm source among this host's apt sources"; exit 1; }

cache=/var/cache/bsv2-fresh-machine
tarball=$cache/bookworm-minbase.tar.gz
mkdir -p "$cache"
work=$(mktemp -d /var/tmp/fresh-machine.XXXXXX)
inside=
cleanup() {
  # Stopped part way: the namespaces' first process dies with unshare
  # (--kill-child), and every process and mount of theirs with it.
  if [ -n "$inside" ]; then
    kill -KILL "$inside" 2>/dev/null || true
    wait "$inside" 2>/dev/null || true
  fi
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Runs the script's --enter part in new namespaces, in the background so
# that a signal to this script can stop it (standard input passed on).
enter() {
  local root=$1 status=0
  shift
  unshare --mount --pid --ipc --uts --fork --kill-child -- bash "$repo/tools/fresh-machine.sh" --enter "$root" \
    "$project" "${CI:-}" "$@" <&3 &
  inside=$!
  wait "$inside" || status=$?
  inside=
  return "$status"
}
exec 3<&0

if [ -n "${FRESH_MACHINE_REBUILD:-}" ] || [ -z "$(find "$tarball" -mtime -7 2>/dev/null)" ]; then
  say "making the minbase root from $mirror (cached in $tarball)"
  base=$work/base
  started=$SECONDS
  debootstrap --variant=minbase --keyring=/usr/share/keyrings/debian-archive-keyring.gpg bookworm "$base" \
    "$mirror" >"$work/debootstrap.log" 2>&1 || { tail -20 "$work/debootstrap.log" >&2; say "debootstrap failed"; exit 1; }
  {
    echo "Types: deb"
    echo "URIs: $mirror"
    echo "Suites: $(echo "$sources" | awk -v m="$mirror" '$1 == m { printf "%s%s", sep, $2; sep = " " }')"
    echo "Components: main"
    echo "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    echo "$sources" | awk -v m="$mirror" '$1 != m { print $1 }' | sort -u | while read -r uri; do
      echo
      echo "Types: deb"
      echo "URIs: $uri"
      echo "Suites: $(echo "$sources" | awk -v u="$uri" '$1 == u { printf "%s%s", sep, $2; sep = " " }')"
      echo "Components: main"
      echo "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    done
  } >"$base/etc/apt/sources.list.d/debian.sources"
  rm -f "$base/etc/apt/sources.list"
  cp /etc/resolv.conf "$base/etc/resolv.conf"
  [ -s "$base/etc/hosts" ] || printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$base/etc/hosts"
  mkdir -p "$base/root/$project"
  enter "$base" 'export DEBIAN_FRONTEND=noninteractive; apt-get -q update >/dev/null &&
    apt-get -q install -y --no-install-recommends git ca-certificates >/dev/null' \
    2>"$work/setup.log" || { cat "$work/setup.log" >&2; say "installing git and ca-certificates failed"; exit 1; }
  rmdir "$base/root/$project"
  tar -C "$base" -czf "$tarball.new" . && mv "$tarball.new" "$tarball"
  rm -rf --one-file-system "$base"
  say "minbase root made in $((SECONDS - started)) s"
fi

root=$work/root
mkdir "$root"
tar -C "$root" -xzf "$tarball"
# The network is the host's: its name servers, and the certificate
# authorities its administrator added (where a proxy inspects TLS, nothing
# reaches a registry over HTTPS without them).
cp /etc/resolv.conf "$root/etc/resolv.conf"
if compgen -G '/usr/local/share/ca-certificates/*.crt' >/dev/null; then
  cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/"
fi
git clone -q "$repo" "$root/root/$project"
packages() { dpkg-query --admindir="$root/var/lib/dpkg" -W | wc -l; }
say "a new root in $root with $(packages) packages; $# command(s) to run"
started=$SECONDS
status=0
enter "$root" "$@" || status=$?
say "exit status $status after $((SECONDS - started)) s; $(packages) packages installed"
exit "$status"
