// The move and scale that bsv2-convert --fit gives a model, for any number
// of models at once: their bounding box centred on the target, and the
// largest scale at which every vertex is in view with its x and y within
// `share` of the way from the middle to the edge.
//
// Where the converter searches for the scale, this solves for it: the clip
// coordinates of a vertex are linear in the scale, so each of the view's
// limits (w > 0, |x| <= share w, |y| <= share w, |z| <= w) holds from 0 up
// to a bound of its own, and the scale is the smallest bound of them all.
import { Vector3, Vector4 } from 'three';

/**
 * @param {Float32Array[]} pointLists three coordinates per vertex
 * @param {{rotation: import('three').Matrix4, toClip: import('three').Matrix4,
 *          target: Vector3, share: number}} view
 *   rotation: applied to each vertex first (the up axis); toClip: world to
 *   clip coordinates; target: where the box's centre goes
 * @returns {{centre: Vector3, scale: number} | null} null when there is no
 *   vertex, a coordinate is not finite, or the target itself is out of view
 */
export function fitScale(pointLists, { rotation, toClip, target, share }) {
  const r = rotation.elements; // column-major
  const rotate = (x, y, z, out) => {
    out[0] = r[0] * x + r[4] * y + r[8] * z;
    out[1] = r[1] * x + r[5] * y + r[9] * z;
    out[2] = r[2] * x + r[6] * y + r[10] * z;
  };
  const low = [Infinity, Infinity, Infinity];
  const high = [-Infinity, -Infinity, -Infinity];
  const p = [0, 0, 0];
  let count = 0;
  for (const points of pointLists) {
    for (let i = 0; i < points.length; i += 3) {
      rotate(points[i], points[i + 1], points[i + 2], p);
      for (let axis = 0; axis < 3; axis++) {
        if (!Number.isFinite(p[axis])) return null;
        low[axis] = Math.min(low[axis], p[axis]);
        high[axis] = Math.max(high[axis], p[axis]);
      }
      count++;
    }
  }
  if (count === 0) return null;
  const centre = new Vector3((low[0] + high[0]) / 2, (low[1] + high[1]) / 2, (low[2] + high[2]) / 2);
  if (Math.max(high[0] - low[0], high[1] - low[1], high[2] - low[2]) === 0) return { centre, scale: 1 };

  // Clip coordinates of target + s * d: base + s * (toClip's linear part) d.
  const base = new Vector4(target.x, target.y, target.z, 1).applyMatrix4(toClip);
  const inside = (x, y, z, w) => w > 0 && Math.abs(x) <= share * w && Math.abs(y) <= share * w && Math.abs(z) <= w;
  if (!inside(base.x, base.y, base.z, base.w)) return null;
  const m = toClip.elements;
  let scale = Infinity;
  // The bound that a0 + s a1 >= 0, true at s = 0, puts on s.
  const limit = (a0, a1) => {
    if (a1 < 0) scale = Math.min(scale, -a0 / a1);
  };
  for (const points of pointLists) {
    for (let i = 0; i < points.length; i += 3) {
      rotate(points[i], points[i + 1], points[i + 2], p);
      const dx = p[0] - centre.x;
      const dy = p[1] - centre.y;
      const dz = p[2] - centre.z;
      const x = m[0] * dx + m[4] * dy + m[8] * dz;
      const y = m[1] * dx + m[5] * dy + m[9] * dz;
      const z = m[2] * dx + m[6] * dy + m[10] * dz;
      const w = m[3] * dx + m[7] * dy + m[11] * dz;
      limit(base.w, w);
      limit(share * base.w - base.x, share * w - x);
      limit(share * base.w + base.x, share * w + x);
      limit(share * base.w - base.y, share * w - y);
      limit(share * base.w + base.y, share * w + y);
      limit(base.w - base.z, w - z);
      limit(base.w + base.z, w + z);
    }
  }
  return { centre, scale: Number.isFinite(scale) ? scale : 1 };
}
