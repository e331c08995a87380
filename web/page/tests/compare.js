// Two pictures of green and red outlines on black, compared colour by
// colour: how many pixels each lights, how many are lit in both at the same
// place, how many have no pixel of their colour within one pixel in the
// other picture, and each colour's bounding box.

const BLACK = 0;
const GREEN = 1;
const RED = 2;
const OTHER = 3;

function classify({ width, height, rgba }) {
  const kinds = new Uint8Array(width * height);
  for (let i = 0; i < kinds.length; i++) {
    const [r, g, b] = [rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]];
    if (r < 64 && g < 64 && b < 64) kinds[i] = BLACK;
    else if (g >= 128 && r < 128 && b < 128) kinds[i] = GREEN;
    else if (r >= 128 && g < 128 && b < 128) kinds[i] = RED;
    else kinds[i] = OTHER;
  }
  return kinds;
}

function box(kinds, width, kind) {
  let found = null;
  kinds.forEach((k, i) => {
    if (k !== kind) return;
    const [x, y] = [i % width, Math.floor(i / width)];
    found = found
      ? [Math.min(found[0], x), Math.min(found[1], y), Math.max(found[2], x), Math.max(found[3], y)]
      : [x, y, x, y];
  });
  return found;
}

// Pixels of `kind` in `a` with none of it within one pixel in `b`.
function unmatched(a, b, width, height, kind) {
  let count = 0;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      if (a[y * width + x] !== kind) continue;
      let near = false;
      for (let dy = -1; dy <= 1 && !near; dy++) {
        for (let dx = -1; dx <= 1 && !near; dx++) {
          const [nx, ny] = [x + dx, y + dy];
          near = nx >= 0 && ny >= 0 && nx < width && ny < height && b[ny * width + nx] === kind;
        }
      }
      if (!near) count++;
    }
  }
  return count;
}

/**
 * @returns {{size: [number, number], other: [number, number], colours: Object<string, {
 *   lit: [number, number], same: number, unmatched: [number, number], box: [number[]|null, number[]|null]}>}}
 *   pairs: [first picture, second picture]; other: pixels lit in neither colour
 */
export function comparePictures(first, second) {
  if (first.width !== second.width || first.height !== second.height) {
    const sizes = [first, second].map(({ width, height }) => `${width} x ${height}`);
    throw new Error(`the pictures differ in size: ${sizes.join(', ')}`);
  }
  const { width, height } = first;
  const a = classify(first);
  const b = classify(second);
  const colours = {};
  for (const [name, kind] of [['green', GREEN], ['red', RED]]) {
    let same = 0;
    a.forEach((k, i) => {
      if (k === kind && b[i] === kind) same++;
    });
    colours[name] = {
      lit: [a.filter((k) => k === kind).length, b.filter((k) => k === kind).length],
      same,
      unmatched: [unmatched(a, b, width, height, kind), unmatched(b, a, width, height, kind)],
      box: [box(a, width, kind), box(b, width, kind)],
    };
  }
  return {
    size: [width, height],
    other: [a.filter((k) => k === OTHER).length, b.filter((k) => k === OTHER).length],
    colours,
  };
}

/** How many pixels of a picture are green and how many red. */
export function litPixels(picture) {
  const kinds = classify(picture);
  return { green: kinds.filter((k) => k === GREEN).length, red: kinds.filter((k) => k === RED).length };
}
