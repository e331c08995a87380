// A model's outlines as three.js draws them here: one line per triangle
// edge (the package's outlines(): six vertex numbers per triangle), drawn
// as an instanced line segment per edge, its two ends' positions fetched
// from a texture of the model's points.
//
// Why not plain LineSegments: a segment that runs behind the eye must be
// cut where it crosses the near plane, as GL clips it. Some WebGL stacks
// (ANGLE on SwiftShader, Chromium's renderer without a GPU) drop such a
// segment whole instead. With both ends in the vertex shader, the end
// behind the near plane is moved onto it there, exactly as GL's clipper
// would, and every stack draws the same line. The tables are used as they
// are: the line numbers as the per-instance attribute, the points (with a
// fourth float each) as the texture.
import {
  BufferAttribute,
  DataTexture,
  FloatType,
  GLSL3,
  InstancedBufferAttribute,
  InstancedBufferGeometry,
  LineSegments,
  RGBAFormat,
  ShaderMaterial,
} from 'three';

const vertexShader = /* glsl */ `
uniform highp sampler2D points;
uniform uint rowLength;
in uvec2 ends;

vec4 clipPosition(uint vertex) {
  ivec2 texel = ivec2(int(vertex % rowLength), int(vertex / rowLength));
  return projectionMatrix * modelViewMatrix * vec4(texelFetch(points, texel, 0).xyz, 1.0);
}

void main() {
  bool second = position.x > 0.5;
  vec4 here = clipPosition(second ? ends.y : ends.x);
  vec4 there = clipPosition(second ? ends.x : ends.y);
  // Signed distances to the near plane, z = -w in clip coordinates.
  float hereIn = here.z + here.w;
  float thereIn = there.z + there.w;
  if (hereIn < 0.0 && thereIn >= 0.0) here = mix(here, there, hereIn / (hereIn - thereIn));
  gl_Position = here;
}
`;

const fragmentShader = /* glsl */ `
uniform vec3 colour;
out vec4 fragmentColour;
void main() {
  fragmentColour = vec4(colour, 1.0);
}
`;

/**
 * @param {Float32Array} points three coordinates per vertex
 * @param {Uint32Array} lines two vertex numbers per edge
 * @param {import('three').Vector3} colour red, green and blue from 0 to 1,
 *   drawn as they are (no colour management), as glColor3f gives them
 * @param {number} maxTextureSize the renderer's
 * @returns {LineSegments} its geometry's instanceCount is the number of
 *   edges drawn (3 per triangle, in the tables' order); its geometry,
 *   material and the material's `points` texture are the caller's to
 *   dispose of
 * @throws {RangeError} when the points do not fit in one texture
 */
export function createOutlines(points, lines, colour, maxTextureSize) {
  const numVertices = points.length / 3;
  const rowLength = Math.min(4096, maxTextureSize);
  const rows = Math.max(1, Math.ceil(numVertices / rowLength));
  if (rows > maxTextureSize) throw new RangeError(`${numVertices} vertices are more than this browser's graphics can hold`);
  const texels = new Float32Array(4 * rowLength * rows);
  for (let k = 0; k < numVertices; k++) {
    texels[4 * k] = points[3 * k];
    texels[4 * k + 1] = points[3 * k + 1];
    texels[4 * k + 2] = points[3 * k + 2];
  }
  const texture = new DataTexture(texels, rowLength, rows, RGBAFormat, FloatType);
  texture.needsUpdate = true;

  const geometry = new InstancedBufferGeometry();
  // x: which end of the segment this vertex is.
  geometry.setAttribute('position', new BufferAttribute(new Float32Array([0, 0, 0, 1, 0, 0]), 3));
  geometry.setAttribute('ends', new InstancedBufferAttribute(lines, 2));
  geometry.instanceCount = lines.length / 2;

  const material = new ShaderMaterial({
    glslVersion: GLSL3,
    vertexShader,
    fragmentShader,
    uniforms: { points: { value: texture }, rowLength: { value: rowLength }, colour: { value: colour } },
    depthTest: false,
    depthWrite: false,
  });
  const outlines = new LineSegments(geometry, material);
  outlines.frustumCulled = false; // the geometry's own positions say nothing of where it is
  return outlines;
}
