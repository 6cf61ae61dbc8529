// The canvas: the frame at any zoom and offset, the before/after split, the mask paths over it,
// and the pointer work of the tools (drawing strokes and shapes, selecting, moving a path or a
// vertex, panning). A stroke being drawn, a path or a vertex being dragged, is in the scene from
// the first move on, inside one gesture of the model (one undo step, proxy frames until let go).
//
// Positions are kept in picture pixels (the scene's coordinates); the view maps them to the
// screen as screen = picture * scale + offset, in CSS pixels.

import { maskHex } from "./scene.js";

const ZOOM_MIN = 1 / 32;
const ZOOM_MAX = 32;
const SPLIT_GRAB = 6; // CSS pixels either side of the split line that grab it
const PICK_DISTANCE = 6; // CSS pixels from a path that still select it
const HANDLE = 4; // CSS pixels: half the side of a vertex handle of the selected path

// Ramer-Douglas-Peucker: drops points within `tolerance` of the line through their neighbours,
// so a freehand stroke becomes a mask of a few dozen vertices instead of hundreds.
function simplify(points, tolerance) {
  if (points.length < 3) return points.slice();
  const keep = new Uint8Array(points.length);
  keep[0] = keep[points.length - 1] = 1;
  const stack = [[0, points.length - 1]];
  while (stack.length) {
    const [a, b] = stack.pop();
    let worst = -1;
    let far = tolerance;
    for (let i = a + 1; i < b; i++) {
      const d = segmentDistance(points[i], points[a], points[b]);
      if (d > far) { far = d; worst = i; }
    }
    if (worst >= 0) {
      keep[worst] = 1;
      stack.push([a, worst], [worst, b]);
    }
  }
  return points.filter((_, i) => keep[i]);
}

function segmentDistance(p, a, b) {
  const dx = b.x - a.x, dy = b.y - a.y;
  const length2 = dx * dx + dy * dy;
  const t = length2 ? Math.max(0, Math.min(1, ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2)) : 0;
  return Math.hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

const round2 = (v) => Math.round(v * 100) / 100;

export class Viewer {
  constructor(canvas, model) {
    this.canvas = canvas;
    this.ctx = canvas.getContext("2d");
    this.model = model;
    this.frame = null; // ImageBitmap of the current view
    this.original = null; // ImageBitmap of the picture as loaded
    this.width = 0;
    this.height = 0;
    this.scale = 1;
    this.offset = { x: 0, y: 0 };
    this.tool = "stroke";
    this.split = false;
    this.splitAt = 0.5; // fraction of the canvas width
    this.showPaths = true;
    this.spaceDown = false;
    this.drag = null; // the pointer gesture in progress
    this.selectedVertex = null; // { id, index } picked with the Select tool
    this.onZoom = () => {};
    this.onStroke = () => {};
    this.onSelect = () => {};

    new ResizeObserver(() => this.resize()).observe(canvas);
    canvas.addEventListener("pointerdown", (e) => this.pointerDown(e));
    canvas.addEventListener("pointermove", (e) => this.pointerMove(e));
    canvas.addEventListener("pointerup", (e) => this.pointerUp(e));
    canvas.addEventListener("pointercancel", () => this.cancel());
    canvas.addEventListener("wheel", (e) => this.wheel(e), { passive: false });
    canvas.addEventListener("dblclick", (e) => this.doubleClick(e));
    canvas.addEventListener("auxclick", (e) => e.preventDefault());
    model.on(() => this.draw());
  }

  // --- picture and view ---------------------------------------------------------------------

  setPicture(width, height, original) {
    const fresh = width !== this.width || height !== this.height;
    this.width = width;
    this.height = height;
    this.original = original;
    this.frame = null;
    if (fresh) this.fit();
    this.draw();
  }

  setFrame(bitmap) {
    this.frame = bitmap;
    this.draw();
  }

  resize() {
    const ratio = window.devicePixelRatio || 1;
    const { clientWidth: w, clientHeight: h } = this.canvas;
    this.canvas.width = Math.max(1, Math.round(w * ratio));
    this.canvas.height = Math.max(1, Math.round(h * ratio));
    if (!this.fitted && this.width) this.fit();
    this.draw();
  }

  fit() {
    const { clientWidth: w, clientHeight: h } = this.canvas;
    if (!this.width || !w || !h) return;
    this.fitted = true;
    const scale = Math.min(w / this.width, h / this.height) * 0.96;
    this.zoomTo(scale, { x: w / 2, y: h / 2 }, true);
  }

  // Sets the zoom, keeping the picture point under `anchor` (CSS pixels) where it is; centred
  // puts the picture's middle at the anchor instead.
  zoomTo(scale, anchor, centred = false) {
    scale = Math.max(ZOOM_MIN, Math.min(ZOOM_MAX, scale));
    if (centred) {
      this.offset = { x: anchor.x - (this.width * scale) / 2, y: anchor.y - (this.height * scale) / 2 };
    } else {
      const p = this.toPicture(anchor);
      this.offset = { x: anchor.x - p.x * scale, y: anchor.y - p.y * scale };
    }
    this.scale = scale;
    this.onZoom(scale);
    this.draw();
  }

  zoomBy(factor, anchor) {
    const { clientWidth: w, clientHeight: h } = this.canvas;
    this.zoomTo(this.scale * factor, anchor || { x: w / 2, y: h / 2 });
  }

  actualSize() {
    const { clientWidth: w, clientHeight: h } = this.canvas;
    this.zoomTo(1, { x: w / 2, y: h / 2 });
  }

  toPicture(p) {
    return { x: (p.x - this.offset.x) / this.scale, y: (p.y - this.offset.y) / this.scale };
  }

  eventPoint(e) {
    const r = this.canvas.getBoundingClientRect();
    return { x: e.clientX - r.left, y: e.clientY - r.top };
  }

  // --- drawing ------------------------------------------------------------------------------

  draw() {
    if (this.pending) return;
    this.pending = requestAnimationFrame(() => {
      this.pending = 0;
      this.paint();
    });
  }

  paint() {
    const ctx = this.ctx;
    const ratio = this.canvas.width / Math.max(1, this.canvas.clientWidth);
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.fillStyle = "#141416";
    ctx.fillRect(0, 0, this.canvas.width, this.canvas.height);
    if (!this.width) return;
    ctx.setTransform(ratio * this.scale, 0, 0, ratio * this.scale, ratio * this.offset.x,
                     ratio * this.offset.y);
    ctx.imageSmoothingEnabled = this.scale < 1;
    ctx.fillStyle = "#333";
    ctx.fillRect(0, 0, this.width, this.height);
    const after = this.frame || this.original;
    if (this.split && this.original) {
      const cut = (this.splitAt * this.canvas.clientWidth - this.offset.x) / this.scale;
      this.clipped(this.original, 0, cut);
      if (after) this.clipped(after, cut, this.width);
    } else if (after) {
      this.drawFrame(after);
    }
    if (this.showPaths) this.paintPaths();
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    if (this.split) this.paintSplitLine();
  }

  clipped(bitmap, from, to) {
    from = Math.max(0, Math.min(this.width, from));
    to = Math.max(from, Math.min(this.width, to));
    if (to > from) {
      this.ctx.save();
      this.ctx.beginPath();
      this.ctx.rect(from, 0, to - from, this.height);
      this.ctx.clip();
      this.drawFrame(bitmap);
      this.ctx.restore();
    }
  }

  // A frame over the whole picture: a proxy is stretched to the picture's size, smoothly.
  drawFrame(bitmap) {
    const smaller = bitmap.width < this.width;
    if (smaller) this.ctx.imageSmoothingEnabled = true;
    this.ctx.drawImage(bitmap, 0, 0, this.width, this.height);
    if (smaller) this.ctx.imageSmoothingEnabled = this.scale < 1;
  }

  tracePath(vertices, closed) {
    const ctx = this.ctx;
    ctx.beginPath();
    vertices.forEach((v, i) => (i ? ctx.lineTo(v.x, v.y) : ctx.moveTo(v.x, v.y)));
    if (closed) ctx.closePath();
  }

  paintPaths() {
    const ctx = this.ctx;
    const px = 1 / this.scale;
    ctx.lineJoin = ctx.lineCap = "round";
    for (const m of this.model.masks) {
      const selected = m.id === this.model.selected;
      this.tracePath(m.vertices, m.closed);
      if (m.vertices.length === 1) ctx.lineTo(m.vertices[0].x + 0.01, m.vertices[0].y);
      ctx.strokeStyle = selected ? "#ffffff" : "rgba(0,0,0,.6)";
      ctx.lineWidth = (selected ? 5 : 3.5) * px;
      ctx.stroke();
      ctx.strokeStyle = maskHex(m.color);
      ctx.lineWidth = 2 * px;
      ctx.stroke();
      if (selected && this.tool === "select") this.paintHandles(m);
    }
    if (this.drag && this.drag.points) {
      this.tracePath(this.drag.points, false);
      ctx.strokeStyle = "#ffffff";
      ctx.lineWidth = 2 * px;
      ctx.setLineDash([4 * px, 3 * px]);
      ctx.stroke();
      ctx.setLineDash([]);
    }
  }

  paintHandles(mask) {
    const ctx = this.ctx;
    const h = HANDLE / this.scale;
    mask.vertices.forEach((v, i) => {
      const picked = this.selectedVertex && this.selectedVertex.id === mask.id &&
                     this.selectedVertex.index === i;
      ctx.fillStyle = picked ? maskHex(mask.color) : "#ffffff";
      ctx.fillRect(v.x - h, v.y - h, 2 * h, 2 * h);
      ctx.strokeStyle = "#000000";
      ctx.lineWidth = 1 / this.scale;
      ctx.strokeRect(v.x - h, v.y - h, 2 * h, 2 * h);
    });
  }

  paintSplitLine() {
    const ctx = this.ctx;
    const x = Math.round(this.splitAt * this.canvas.clientWidth) + 0.5;
    ctx.strokeStyle = "#ffffff";
    ctx.lineWidth = 1;
    ctx.beginPath();
    ctx.moveTo(x, 0);
    ctx.lineTo(x, this.canvas.clientHeight);
    ctx.stroke();
    ctx.font = "12px system-ui, sans-serif";
    ctx.fillStyle = "rgba(0,0,0,.6)";
    ctx.fillRect(x - 58, 8, 52, 18);
    ctx.fillRect(x + 6, 8, 46, 18);
    ctx.fillStyle = "#fff";
    ctx.fillText("before", x - 52, 21);
    ctx.fillText("after", x + 12, 21);
  }

  // --- pointer ------------------------------------------------------------------------------

  nearSplit(p) {
    return this.split && Math.abs(p.x - this.splitAt * this.canvas.clientWidth) <= SPLIT_GRAB;
  }

  pointerDown(e) {
    if (!this.width || this.drag) return;
    const p = this.eventPoint(e);
    let kind;
    if (e.button === 1 || (e.button === 0 && (this.tool === "pan" || this.spaceDown))) kind = "pan";
    else if (e.button !== 0) return;
    else if (this.nearSplit(p)) kind = "split";
    else kind = this.tool;
    e.preventDefault();
    this.canvas.setPointerCapture(e.pointerId);
    this.drag = { kind, id: e.pointerId, last: p, start: this.toPicture(p) };
    if (kind === "stroke" || kind === "shape") this.drag.points = [this.toPicture(p)];
    if (kind === "select") this.pressSelect(p);
    this.draw();
  }

  // With the Select tool: a vertex of the selected path is picked to drag; else the path under
  // the pointer is selected, to drag whole.
  pressSelect(p) {
    const d = this.drag;
    const selected = this.model.maskById(this.model.selected);
    const index = selected ? this.pickVertex(selected, p) : -1;
    if (index >= 0) {
      this.selectedVertex = { id: selected.id, index };
      Object.assign(d, { kind: "vertex", mask: selected.id, index });
      return;
    }
    this.selectedVertex = null;
    const id = this.pick(p);
    this.onSelect(id);
    const mask = this.model.maskById(id);
    if (mask)
      Object.assign(d, { kind: "move", mask: id, from: mask.vertices.map((v) => ({ ...v })) });
  }

  pointerMove(e) {
    if (!this.drag || e.pointerId !== this.drag.id) return;
    const p = this.eventPoint(e);
    const d = this.drag;
    if (d.kind === "pan") {
      this.offset.x += p.x - d.last.x;
      this.offset.y += p.y - d.last.y;
      d.last = p;
    } else if (d.kind === "split") {
      this.splitAt = Math.max(0, Math.min(1, p.x / this.canvas.clientWidth));
    } else if (d.kind === "move" || d.kind === "vertex") {
      const q = this.toPicture(p);
      if (!d.moved && Math.hypot(p.x - d.last.x, p.y - d.last.y) < 2) return;
      d.moved = true;
      this.model.beginGesture();
      if (d.kind === "move") this.model.moveMask(d.mask, d.from, q.x - d.start.x, q.y - d.start.y);
      else this.model.moveVertex(d.mask, d.index, q.x, q.y);
    } else if (d.points && Math.hypot(p.x - d.last.x, p.y - d.last.y) >= 2) {
      d.points.push(this.toPicture(p));
      d.last = p;
      // In the scene as soon as it is a line, so the frame follows the stroke being drawn.
      const vertices = this.thinned(d.points);
      if (d.mask === undefined && vertices.length >= 2) {
        this.model.beginGesture();
        d.mask = this.onStroke(vertices, false, d.kind === "shape" ? "Shape" : "Stroke").id;
      } else if (d.mask !== undefined) {
        this.model.editMask(d.mask, { vertices });
      }
    }
    this.draw();
  }

  // The points that matter: within three quarters of a screen pixel, in hundredths of a pixel.
  thinned(points) {
    return simplify(points, 0.75 / Math.max(this.scale, 1e-6))
      .map((q) => ({ x: round2(q.x), y: round2(q.y) }));
  }

  pointerUp(e) {
    if (!this.drag || e.pointerId !== this.drag.id) return;
    const d = this.drag;
    this.drag = null;
    if (d.points) {
      const closed = d.kind === "shape";
      const points = this.thinned(d.points);
      if (d.mask !== undefined) {
        if (closed && points.length < 3) this.model.cancelGesture();
        else {
          this.model.editMask(d.mask, { vertices: points, closed });
          this.model.endGesture();
        }
      } else if (!closed || points.length >= 3) {
        this.onStroke(points, closed);
      }
    } else if (d.kind === "move" || d.kind === "vertex") {
      this.model.endGesture();
    }
    this.draw();
  }

  // Esc, a lost pointer: a stroke being drawn goes, a dragged path goes back.
  cancel() {
    if (!this.drag) return false;
    const d = this.drag;
    this.drag = null;
    if (d.mask !== undefined && this.model.dragging) this.model.cancelGesture();
    this.draw();
    return true;
  }

  doubleClick(e) {
    if (this.tool !== "select") return;
    const mask = this.model.maskById(this.model.selected);
    const index = mask ? this.pickVertex(mask, this.eventPoint(e)) : -1;
    if (index >= 0 && this.model.deleteVertex(mask.id, index)) this.selectedVertex = null;
  }

  // The vertex of `mask` under the point (within its handle and a little), else -1.
  pickVertex(mask, p) {
    const q = this.toPicture(p);
    const reach = (HANDLE + 2) / this.scale;
    let best = -1;
    let bestDistance = reach;
    mask.vertices.forEach((v, i) => {
      const d = Math.hypot(q.x - v.x, q.y - v.y);
      if (d <= bestDistance) { best = i; bestDistance = d; }
    });
    return best;
  }

  wheel(e) {
    if (!this.width) return;
    e.preventDefault();
    const step = e.deltaMode === 1 ? e.deltaY * 16 : e.deltaY;
    this.zoomBy(Math.pow(1.0015, -step), this.eventPoint(e));
  }

  // The mask whose path runs nearest the point, within a few screen pixels; null for none.
  pick(p) {
    const q = this.toPicture(p);
    const reach = PICK_DISTANCE / this.scale;
    let best = null;
    let bestDistance = reach;
    for (const m of this.model.masks) {
      const v = m.vertices;
      const segments = m.closed && v.length > 2 ? v.length : v.length - 1;
      let d = v.length === 1 ? Math.hypot(q.x - v[0].x, q.y - v[0].y) : Infinity;
      for (let i = 0; i < segments; i++) d = Math.min(d, segmentDistance(q, v[i], v[(i + 1) % v.length]));
      if (d <= bestDistance) { best = m.id; bestDistance = d; }
    }
    return best;
  }
}
