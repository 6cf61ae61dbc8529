// The labels view in the masks' own colours. The effect's labels view (as `zonepainter render
// --view labels` makes it) paints label L in a fixed colour of a ring, darker with the cost at
// which the label arrived; which label a group gets depends on which groups have masks. The page
// knows the scene, so it works out each label's group and mask, recognises each pixel's label by
// its colour, and paints it in the mask's colour at the same shade. The frame kept (and saved,
// and compared) stays the effect's.

import { maskHex } from "./scene.js";

// Label 1 (masks no group uses) and then labels 2, 3, ... around the ring: the labels view's.
const UNUSED = [200, 200, 200];
const RING = [[255, 64, 64], [64, 200, 255], [255, 220, 40], [80, 230, 80], [240, 80, 240],
              [255, 150, 40], [140, 110, 255], [40, 240, 200], [255, 150, 180], [190, 255, 60],
              [60, 110, 255], [200, 150, 90]];

const rgbOf = (hex) => [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16));

// [{ label, ring, color, group }] in label order: the Adjust groups with a mask, then the
// Colorize slots whose mask no Adjust group has (a slot that shares one joins that group).
export function zones(model) {
  const out = [];
  const adjustMasks = new Set();
  const pickers = model.params.filter((p) => p.type === "mask");
  const adjust = pickers.filter((p) => /^Adjust \d+$/.test(p.group ?? ""));
  const colorize = pickers.filter((p) => !adjust.includes(p));
  for (const p of adjust) {
    const mask = model.maskById(model.get(p.group, p.name));
    if (!mask) continue;
    adjustMasks.add(mask.id);
    out.push({ group: p.group, mask });
  }
  for (const p of colorize) {
    const mask = model.maskById(model.get(p.group, p.name));
    if (mask && !adjustMasks.has(mask.id)) out.push({ group: `${p.group} ${p.name}`, mask });
  }
  return out.map((z, i) => ({ label: i + 2, group: z.group, ring: RING[i % RING.length],
                              color: rgbOf(maskHex(z.mask.color).slice(0, 7)) }));
}

// The labels frame with every zone in its mask's colour (label 1 stays grey).
export async function recolour(bitmap, model) {
  const list = [{ ring: UNUSED, color: UNUSED }, ...zones(model)];
  const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
  const ctx = canvas.getContext("2d", { willReadFrequently: true });
  ctx.drawImage(bitmap, 0, 0);
  const image = ctx.getImageData(0, 0, bitmap.width, bitmap.height);
  const px = image.data;
  const seen = new Map(); // a colour met before -> the colour it becomes
  for (let i = 0; i < px.length; i += 4) {
    const r = px[i], g = px[i + 1], b = px[i + 2];
    const key = (r << 16) | (g << 8) | b;
    let to = seen.get(key);
    if (to === undefined) {
      to = key; // no label (black), or a colour no zone explains: left as it is
      let best = 2; // per channel, rounding aside
      for (const z of list) {
        const top = Math.max(...z.ring);
        const shade = Math.max(r, g, b) / top;
        const miss = Math.max(Math.abs(Math.round(z.ring[0] * shade) - r),
                              Math.abs(Math.round(z.ring[1] * shade) - g),
                              Math.abs(Math.round(z.ring[2] * shade) - b));
        if (key !== 0 && miss < best) {
          best = miss;
          to = (Math.round(z.color[0] * shade) << 16) | (Math.round(z.color[1] * shade) << 8) |
               Math.round(z.color[2] * shade);
        }
      }
      seen.set(key, to);
    }
    px[i] = to >> 16;
    px[i + 1] = (to >> 8) & 255;
    px[i + 2] = to & 255;
  }
  ctx.putImageData(image, 0, 0);
  return createImageBitmap(canvas);
}
