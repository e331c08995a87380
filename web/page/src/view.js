// The picture: the two models as the desktop viewer draws them (its camera,
// projection, y stretch and colours, every triangle's outline, the second
// model over the first with no depth test), and what the page adds on top:
// orbit, pan and zoom, fit, the up axis, the canvas's size, hiding a model,
// building the second up triangle by triangle. Draws only when something
// changed.
import { Group, PerspectiveCamera, Quaternion, Scene, Vector3, WebGLRenderer } from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';

import { fitScale } from './fit.js';
import { createOutlines, disposeOutlines } from './outline-lines.js';

/** The desktop viewer's fixed view. */
export const VIEWER = Object.freeze({
  size: 500, // the window, in pixels a side
  eye: [5, 10, 5],
  target: [0, 0, 2],
  up: [0, 1, 0],
  fieldOfView: 90, // degrees, vertical
  aspect: 1,
  near: 1,
  far: 1000,
  yScale: 2, // the model's y is doubled before the camera sees it
  colours: [[0, 1, 0], [1, 0, 0]], // glColor3f's: the first model green, the second red
  fitShare: 0.9, // bsv2-convert --fit: the outermost vertices reach 90 % of the way to the edge
});

const UP_AXES = { y: [0, 1, 0], z: [0, 0, 1], x: [1, 0, 0] };

/**
 * Sets up the picture on `canvas`, whose parent's size it follows.
 * @param {HTMLCanvasElement} canvas
 * @param {{onContextLost: () => void}} hooks
 */
export function createView(canvas, { onContextLost }) {
  // No antialiasing and one line width, as the viewer's GL defaults; the
  // drawing buffer is kept for screenshots.
  const renderer = new WebGLRenderer({ canvas, antialias: false, preserveDrawingBuffer: true });
  renderer.setPixelRatio(window.devicePixelRatio);
  renderer.setClearColor(0x000000, 1);
  canvas.addEventListener('webglcontextlost', (event) => {
    event.preventDefault();
    onContextLost();
  });

  const camera = new PerspectiveCamera(VIEWER.fieldOfView, VIEWER.aspect, VIEWER.near, VIEWER.far);
  const scene = new Scene();
  // glScalef(1, 2, 1), then the fit's move and scale, then the up axis.
  const stretch = new Group();
  const fitted = new Group();
  const upright = new Group();
  scene.add(stretch);
  stretch.add(fitted);
  fitted.add(upright);

  const controls = new OrbitControls(camera, canvas);
  controls.listenToKeyEvents(canvas);

  const models = [null, null]; // {lines: LineSegments, points: Float32Array, numTris}
  const state = { stretched: true, upAxis: 'y' };
  let pending = false;

  function draw() {
    pending = false;
    renderer.render(scene, camera);
  }
  /** Draws at the next frame (once, however often it is asked). */
  function redraw() {
    if (!pending) {
      pending = true;
      requestAnimationFrame(draw);
    }
  }
  controls.addEventListener('change', redraw);

  function resetCamera() {
    camera.position.set(...VIEWER.eye);
    camera.up.set(...VIEWER.up);
    controls.target.set(...VIEWER.target);
    controls.update();
    redraw();
  }

  function applyTransforms() {
    stretch.scale.set(1, state.stretched ? VIEWER.yScale : 1, 1);
    const up = new Vector3(...UP_AXES[state.upAxis]);
    upright.quaternion.copy(new Quaternion().setFromUnitVectors(up, new Vector3(0, 1, 0)));
    scene.updateMatrixWorld(true);
    redraw();
  }

  function setSize(width, height) {
    renderer.setSize(width, height, false);
    camera.aspect = width / height;
    camera.updateProjectionMatrix();
    draw(); // at once: a resized drawing buffer is blank until drawn
  }
  new ResizeObserver(([entry]) => {
    const { width, height } = entry.contentRect;
    if (width > 0 && height > 0) setSize(Math.round(width), Math.round(height));
  }).observe(canvas.parentElement);

  resetCamera();
  applyTransforms();

  return {
    /**
     * Shows a model's outlines in slot 0 (green) or 1 (red), or none.
     * @throws {RangeError} when the graphics cannot hold the model
     */
    setModel(slot, model) {
      if (models[slot]) {
        upright.remove(models[slot].lines);
        disposeOutlines(models[slot].lines);
      }
      models[slot] = null;
      redraw();
      if (!model) return;
      const colour = new Vector3(...VIEWER.colours[slot]);
      const lines = createOutlines(model.points, model.lines, colour, renderer.capabilities.maxTextureSize);
      lines.renderOrder = slot; // the second over the first
      upright.add(lines);
      models[slot] = { lines, points: model.points, numTris: model.lines.length / 6 };
    },

    setVisible(slot, visible) {
      if (models[slot]) models[slot].lines.visible = visible;
      redraw();
    },

    /** Shows only the first `count` triangles of a slot's model (all: Infinity). */
    showTriangles(slot, count) {
      if (!models[slot]) return;
      models[slot].lines.geometry.setDrawRange(0, 6 * Math.min(count, models[slot].numTris));
      redraw();
    },

    numTriangles(slot) {
      return models[slot] ? models[slot].numTris : 0;
    },

    setStretched(stretched) {
      state.stretched = stretched;
      applyTransforms();
    },

    setUpAxis(axis) {
      state.upAxis = axis;
      applyTransforms();
    },

    /** The viewer's camera, models unmoved and unscaled, y stretched, y up. */
    reset() {
      fitted.position.set(0, 0, 0);
      fitted.scale.set(1, 1, 1);
      state.stretched = true;
      state.upAxis = 'y';
      applyTransforms();
      resetCamera();
    },

    /**
     * Moves and scales the shown models together, the same on every axis,
     * as bsv2-convert --fit moves one, so that all of them is in the
     * viewer's view (the camera goes back to it) within 90 % of the middle.
     * @returns {boolean} false when there is nothing to fit
     */
    fit() {
      resetCamera();
      camera.updateMatrixWorld(true);
      fitted.position.set(0, 0, 0);
      fitted.scale.set(1, 1, 1);
      scene.updateMatrixWorld(true);
      const shown = models.filter((model) => model && model.lines.visible).map((model) => model.points);
      const fitting = fitScale(shown, {
        rotation: upright.matrix,
        toClip: camera.projectionMatrix.clone().multiply(camera.matrixWorldInverse).multiply(stretch.matrix),
        target: new Vector3(...VIEWER.target),
        share: VIEWER.fitShare,
      });
      if (!fitting) return false;
      // world = stretch(target + s (R p - centre))
      fitted.scale.setScalar(fitting.scale);
      fitted.position.copy(new Vector3(...VIEWER.target).addScaledVector(fitting.centre, -fitting.scale));
      scene.updateMatrixWorld(true);
      redraw();
      return true;
    },

    zoom(factor) {
      camera.position.sub(controls.target).multiplyScalar(factor).add(controls.target);
      controls.update();
    },

    /** The picture as a PNG. */
    screenshot() {
      draw();
      return new Promise((resolve, reject) =>
        canvas.toBlob((blob) => (blob ? resolve(blob) : reject(new Error('the canvas gave no PNG'))), 'image/png'),
      );
    },
  };
}
