// A model's outlines as three.js draws them here: one line per triangle
// edge (the package's outlines(): six vertex numbers per triangle), drawn
// by gl_VertexID from two textures, the line ends' vertex numbers and the
// model's points, with no vertex attribute at all.
//
// Why not plain LineSegments: a segment that runs behind the eye must be
// cut where it crosses the near plane, as GL clips it. Some WebGL stacks
// (ANGLE on SwiftShader, Chromium's renderer without a GPU) drop such a
// segment whole instead. With both ends in the vertex shader, the end
// behind the near plane is moved onto it there, exactly as GL's clipper
// would, and every stack draws the same line.
import {
  BufferGeometry,
  DataTexture,
  FloatType,
  GLSL3,
  LineSegments,
  RedIntegerFormat,
  RGBAFormat,
  ShaderMaterial,
  UnsignedIntType,
} from 'three';

// Texels a row in both textures; WebGL 2 allows at least 2048.
const MIN_ROW = 2048;

const vertexShader = /* glsl */ `
uniform highp sampler2D points;
uniform highp usampler2D ends;
uniform uint rowLength;

ivec2 texel(uint n) {
  return ivec2(int(n % rowLength), int(n / rowLength));
}

vec4 clipPosition(uint vertex) {
  return projectionMatrix * modelViewMatrix * vec4(texelFetch(points, texel(vertex), 0).xyz, 1.0);
}

void main() {
  // This end of the segment, and the other (the vertices 2k and 2k + 1).
  uint end = uint(gl_VertexID);
  vec4 here = clipPosition(texelFetch(ends, texel(end), 0).r);
  vec4 there = clipPosition(texelFetch(ends, texel(end ^ 1u), 0).r);
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

// An empty texture for `count` entries of `perTexel` values each,
// `rowLength` texels a row; its data is the caller's to fill.
function tableTexture(count, perTexel, rowLength, maxTextureSize, Values, format, type) {
  const rows = Math.max(1, Math.ceil(count / rowLength));
  if (rows > maxTextureSize) throw new RangeError("the model is more than this browser's graphics can hold");
  const texture = new DataTexture(new Values(perTexel * rowLength * rows), rowLength, rows, format, type);
  texture.needsUpdate = true;
  return texture;
}

/**
 * @param {Float32Array} points three coordinates per vertex
 * @param {Uint32Array} lines two vertex numbers per edge
 * @param {import('three').Vector3} colour red, green and blue from 0 to 1,
 *   drawn as they are (no colour management), as glColor3f gives them
 * @param {number} maxTextureSize the renderer's
 * @returns {LineSegments} setDrawRange(0, 6 k) on its geometry shows the
 *   first k triangles; the caller's to dispose of (disposeOutlines)
 * @throws {RangeError} when a table does not fit in a texture
 */
export function createOutlines(points, lines, colour, maxTextureSize) {
  const rowLength = Math.max(MIN_ROW, Math.min(4096, maxTextureSize));
  const numVertices = points.length / 3;
  const pointTexture = tableTexture(numVertices, 4, rowLength, maxTextureSize, Float32Array, RGBAFormat, FloatType);
  const texels = pointTexture.image.data;
  for (let k = 0; k < numVertices; k++) {
    texels[4 * k] = points[3 * k];
    texels[4 * k + 1] = points[3 * k + 1];
    texels[4 * k + 2] = points[3 * k + 2];
  }
  const endTexture = tableTexture(
    lines.length,
    1,
    rowLength,
    maxTextureSize,
    Uint32Array,
    RedIntegerFormat,
    UnsignedIntType,
  );
  endTexture.image.data.set(lines);
  endTexture.internalFormat = 'R32UI';
  const uniforms = {
    points: { value: pointTexture },
    ends: { value: endTexture },
    rowLength: { value: rowLength },
    colour: { value: colour },
  };

  // No attributes: the draw range alone says how many line ends to draw.
  const geometry = new BufferGeometry();
  geometry.setDrawRange(0, lines.length);
  const material = new ShaderMaterial({
    glslVersion: GLSL3,
    vertexShader,
    fragmentShader,
    uniforms,
    depthTest: false,
    depthWrite: false,
  });
  const outlines = new LineSegments(geometry, material);
  outlines.frustumCulled = false; // the geometry has no positions to say where it is
  return outlines;
}

/** Frees what createOutlines made: the geometry, the material and its two textures. */
export function disposeOutlines(outlines) {
  outlines.geometry.dispose();
  outlines.material.dispose();
  outlines.material.uniforms.points.value.dispose();
  outlines.material.uniforms.ends.value.dispose();
}
