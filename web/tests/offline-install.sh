#!/usr/bin/env bash
# Proves the package whole: npm pack makes its tarball, which is installed
# into a scratch project with the network off (a network namespace of its
# own, unshare -n), with three.js from npm's cache, and used from there:
# both entry points, a read and a write, by a plain node program.
#   tests/offline-install.sh      (from the package's folder)
# Exit status 77 (skipped) where no network namespace can be made.
set -euo pipefail
package=$PWD

offline=(unshare -n)
if ! "${offline[@]}" true 2>/dev/null; then
  offline=(unshare -r -n)
  if ! "${offline[@]}" true 2>/dev/null; then
    echo "skipped: no network namespace can be made here (unshare -n and unshare -rn fail)"
    exit 77
  fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tarball=$(npm pack --pack-destination "$work" --loglevel=error | tail -n 1)
echo "npm pack: $tarball, $(stat -c %s "$work/$tarball") bytes gzipped, holding:"
tar -tzf "$work/$tarball" | sort | sed 's/^/  /'

mkdir "$work/project"
cd "$work/project"
echo '{ "name": "scratch", "private": true, "type": "module" }' >package.json
three=$(node -p "require('$package/node_modules/three/package.json').version")
"${offline[@]}" npm install --offline --no-audit --no-fund --loglevel=error "$work/$tarball" "three@$three"
# Nothing may be reached from here, so that the install above used no network.
if "${offline[@]}" node -e "fetch('https://registry.npmjs.org/').then(() => process.exit(0), () => process.exit(1))"; then
  echo "the network is reachable inside unshare -n" >&2
  exit 1
fi
cat >use.js <<'EOF'
import { read, write } from 'bsv2';
import { BSV2Loader, outlines } from 'bsv2/three';

const text = write([0, 0, 0, 1, 0, 0, 0, 1, 0], [0, 1, 2]);
const { points, triangles } = read(text);
const geometry = new BSV2Loader().parse(text);
console.log(`imported offline: ${points.length / 3} vertices, ${triangles.length / 3} triangle,`,
            `${outlines(geometry).index.count / 2} outline segments`);
EOF
"${offline[@]}" node use.js
echo "installed: $(ls node_modules | tr '\n' ' ')"
