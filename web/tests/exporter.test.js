// BSV2Exporter merges a scene as bsv2-convert merges one: the scene written
// by three.js's own OBJExporter and converted by bsv2-convert gives the very
// bytes the exporter gives, and the converter reads those back unchanged.
// Scenes the converter refuses, the exporter refuses too.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import test from 'node:test';

import {
  BoxGeometry,
  BufferAttribute,
  BufferGeometry,
  Group,
  Line,
  Mesh,
  Points,
  TetrahedronGeometry,
} from 'three';
import { OBJExporter } from 'three/addons/exporters/OBJExporter.js';

import { BSV2Exporter } from '../src/three.js';
import { scratchFolder } from './support.js';

const converter = process.env.BSV2_CONVERTER;

// Nested transforms, indexed and unindexed meshes, positions shared within
// a mesh and between meshes, and points and lines to be left out.
function scene() {
  const root = new Group();
  const turned = new Group();
  turned.position.set(2, -1, 0.5);
  turned.rotation.set(0.3, -1.1, 2);
  turned.scale.set(2, 0.5, -1);
  root.add(turned);
  turned.add(new Mesh(new BoxGeometry(1, 2, 3))); // 24 vertices, 8 positions
  const unindexed = new BufferGeometry();
  unindexed.setAttribute('position', new BufferAttribute(new Float32Array([0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 1, 0]), 3));
  const soup = new Mesh(unindexed);
  soup.position.set(-3, 0, 0);
  root.add(soup);
  const tetrahedron = new Mesh(new TetrahedronGeometry(1.5));
  tetrahedron.position.set(0.25, 4, -2);
  turned.add(tetrahedron);
  const corner = new BufferGeometry().setAttribute('position', new BufferAttribute(new Float32Array([-3, 0, 0, 9, 9, 9]), 3));
  root.add(new Points(corner), new Line(corner));
  root.updateMatrixWorld(true); // OBJExporter takes the world matrices as they are
  return root;
}

test('the exporter gives the bytes bsv2-convert gives for the scene as OBJ', { skip: !converter && 'bsv2-convert is not built' }, () => {
  const scratch = scratchFolder();
  try {
    const bytes = new BSV2Exporter().parse(scene());
    const obj = join(scratch.folder, 'scene.obj');
    writeFileSync(obj, new OBJExporter().parse(scene()));
    execFileSync(converter, [obj, join(scratch.folder, 'from-obj.bsv2')], { stdio: 'pipe' });
    assert.deepEqual(readFileSync(join(scratch.folder, 'from-obj.bsv2')), Buffer.from(bytes));
    assert.match(new TextDecoder().decode(bytes), /^BSV2\n16\n18\n/); // 8 + 4 + 4 positions, 12 + 4 + 2 triangles

    const exported = join(scratch.folder, 'exported.bsv2');
    writeFileSync(exported, bytes);
    execFileSync(converter, [exported, join(scratch.folder, 'copy.bsv2')], { stdio: 'pipe' });
    assert.deepEqual(readFileSync(join(scratch.folder, 'copy.bsv2')), Buffer.from(bytes));
  } finally {
    scratch.remove();
  }
});

test('the exporter refuses what the converter refuses', () => {
  const nothing = new Group().add(new Points(new BoxGeometry()));
  assert.throws(() => new BSV2Exporter().parse(nothing), /no triangles/);
  const infinite = new Mesh(new BoxGeometry());
  infinite.scale.set(1e39, 1e39, 1e39); // finite as a double, infinite as a float
  assert.throws(() => new BSV2Exporter().parse(infinite), /has 24 vertices whose coordinates are not finite/);
  const astray = new Mesh(new BoxGeometry());
  astray.geometry.index.setX(5, 24);
  assert.throws(() => new BSV2Exporter().parse(astray), /names vertex 24, which it does not have/);
});
