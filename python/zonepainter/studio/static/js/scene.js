// The page's scene: masks and parameter values, written and read in the scene file format
// (docs/scene-format.md). Masks carry ids of their own, so a group's mask picker keeps pointing
// at the same mask when others are deleted or moved, and an undone delete brings its picks back.
// Every edit goes through the undo history: masks, mask pickers, sliders, colours. A drag (a
// slider, a stroke being drawn or moved) is a gesture: one step however many values it passed.

const PALETTE = ["#ff5050", "#4080ff", "#40d060", "#ffc020", "#c060ff", "#20d0d0", "#ff8040",
                 "#f060b0", "#a0e040", "#8090ff"];
const MAX_NAME_BYTES = 31;
const HISTORY_LIMIT = 200;

export const keyOf = (group, name) => (group ? `${group}\u0000${name}` : name);

const hex2 = (n) => Math.max(0, Math.min(255, Math.round(n))).toString(16).padStart(2, "0");

// A scene colour value ("#rrggbb", "#aarrggbb", [r,g,b], [a,r,g,b] of 0..255) as hex text.
function paramColor(value) {
  if (typeof value === "string") return value.toLowerCase();
  if (Array.isArray(value) && value.length === 3) return "#" + value.map(hex2).join("");
  if (Array.isArray(value) && value.length === 4) {
    const [a, r, g, b] = value;
    return a === 255 ? "#" + [r, g, b].map(hex2).join("") : "#" + [a, r, g, b].map(hex2).join("");
  }
  return null;
}

// A mask colour ("#rrggbb", [r, g, b] of 0..1, or absent for the host's yellow) as hex text.
export function maskHex(color) {
  if (typeof color === "string") return color.toLowerCase();
  if (Array.isArray(color)) return "#" + color.map((c) => hex2(c * 255)).join("");
  return "#ffff00";
}

export const nameBytes = (name) => new TextEncoder().encode(name).length;

export class SceneModel {
  constructor(params) {
    this.params = params; // info()'s list
    this.byKey = new Map(params.map((p) => [keyOf(p.group, p.name), p]));
    this.values = new Map();
    this.masks = [];
    this.nextId = 1;
    this.selected = null;
    this.undoStack = [];
    this.redoStack = [];
    this.before = null; // the state a gesture or an edit started from, until it ends
    this.dragging = false; // a gesture is open: frames may be proxies
    this.autoGroup = true; // a new mask goes to the first Adjust group without one
    this.listeners = new Set();
    this.reset();
  }

  on(listener) { this.listeners.add(listener); }
  emit(kind) { for (const l of this.listeners) l(kind); }

  reset() {
    for (const p of this.params) this.values.set(keyOf(p.group, p.name), p.default);
  }

  // --- parameters ---------------------------------------------------------------------------

  get(group, name) { return this.values.get(keyOf(group, name)); }

  // Sets a value as one undo step, or as part of the gesture in progress.
  set(group, name, value) {
    const key = keyOf(group, name);
    if (this.values.get(key) === value) return;
    this.edit(() => this.values.set(key, value));
    this.emit("params");
  }

  isDefault(p) { return this.values.get(keyOf(p.group, p.name)) === p.default; }

  maskById(id) { return this.masks.find((m) => m.id === id) || null; }

  // --- history --------------------------------------------------------------------------------

  snapshot() {
    return JSON.stringify({ masks: this.masks, nextId: this.nextId, values: [...this.values] });
  }

  // Runs change() as one undo step; inside a gesture it joins the gesture's step.
  edit(change) {
    if (this.before !== null) return change();
    this.before = this.snapshot();
    try {
      return change();
    } finally {
      this.settle();
    }
  }

  // Keeps the state an edit started from on the undo stack, when the edit changed anything.
  settle() {
    const before = this.before;
    this.before = null;
    if (before === null || before === this.snapshot()) return;
    this.undoStack.push(before);
    if (this.undoStack.length > HISTORY_LIMIT) this.undoStack.shift();
    this.redoStack = [];
    this.emit("history");
  }

  // A drag starts: what follows until endGesture() is one undo step.
  beginGesture() {
    if (this.dragging) return;
    this.dragging = true;
    this.before = this.snapshot();
    this.emit("gesture");
  }

  endGesture() {
    if (!this.dragging) return;
    this.dragging = false;
    this.settle();
    this.emit("gesture");
  }

  // Drops what the gesture changed (Esc while drawing).
  cancelGesture() {
    if (!this.dragging) return;
    const before = this.before;
    this.dragging = false;
    this.before = null;
    this.restore(before);
    this.emit("gesture");
  }

  restore(text) {
    const s = JSON.parse(text);
    this.masks = s.masks;
    this.nextId = s.nextId;
    this.values = new Map(s.values);
    if (this.selected !== null && !this.maskById(this.selected)) this.selected = null;
    this.emit("masks");
    this.emit("params");
  }

  undo() {
    this.endGesture();
    if (!this.undoStack.length) return false;
    this.redoStack.push(this.snapshot());
    this.restore(this.undoStack.pop());
    return true;
  }

  redo() {
    this.endGesture();
    if (!this.redoStack.length) return false;
    this.undoStack.push(this.snapshot());
    this.restore(this.redoStack.pop());
    return true;
  }

  // --- masks ----------------------------------------------------------------------------------

  // The mask pickers of the Adjust groups, in order.
  adjustPickers() {
    return this.params.filter((p) => p.type === "mask" && p.name === "Mask" &&
                                     /^Adjust \d+$/.test(p.group ?? ""));
  }

  // The masks a group whose picker names mask `id` draws, as the effect links them: every mask
  // with the picked mask's name, and with each of those every mask of the same colour ("Mask
  // Color") or whose name begins with that name ("Mask Name", so Sky links Sky 2 and Skyline).
  linkedTo(id) {
    const picked = this.maskById(id);
    if (!picked) return [];
    const mode = this.get("Options", "Link Masks");
    const linked = new Set();
    for (const a of this.masks.filter((m) => m.name === picked.name)) {
      for (const b of this.masks) {
        if (mode === "Mask Color" ? maskHex(b.color) === maskHex(a.color)
                                  : mode === "Mask Name" && b.name.startsWith(a.name))
          linked.add(b.id);
      }
    }
    return [...linked];
  }

  // The groups and slots that draw the mask (picked or linked): [group, ...].
  usersOf(id) {
    const slot = (p) => (p.name === "Mask" ? p.group : `${p.group} ${p.name.slice(5)}`);
    return this.params.filter((p) => p.type === "mask" &&
                                     this.linkedTo(this.get(p.group, p.name)).includes(id))
                      .map(slot);
  }

  // kind names it: "Shape" or "Stroke" (a shape being drawn is open until let go).
  addMask(vertices, closed, kind = closed ? "Shape" : "Stroke") {
    return this.edit(() => {
      const id = this.nextId++;
      const prefix = kind;
      const taken = new Set(this.masks.map((m) => m.name));
      let n = this.masks.length + 1;
      while (taken.has(`${prefix} ${n}`)) n++;
      const mask = { id, name: `${prefix} ${n}`, color: PALETTE[(id - 1) % PALETTE.length],
                     closed, vertices, extra: {} };
      this.masks.push(mask);
      this.selected = id;
      // So one stroke and one slider show a correction: the first group without a mask.
      const free = this.autoGroup &&
        this.adjustPickers().find((p) => !this.maskById(this.get(p.group, p.name)));
      if (free) this.values.set(keyOf(free.group, free.name), id);
      this.emit("masks");
      if (free) this.emit("params");
      return mask;
    });
  }

  editMask(id, change) {
    const mask = this.maskById(id);
    if (!mask) return;
    if (change.name !== undefined) {
      if (!change.name || nameBytes(change.name) > MAX_NAME_BYTES)
        throw new Error(`a mask name is 1 to ${MAX_NAME_BYTES} bytes long`);
    }
    this.edit(() => Object.assign(mask, change));
    this.emit("masks");
  }

  // Moves the whole mask by (dx, dy) picture pixels from the vertices it had.
  moveMask(id, from, dx, dy) {
    const round2 = (v) => Math.round(v * 100) / 100;
    this.editMask(id, { vertices: from.map((v) => ({ ...v, x: round2(v.x + dx),
                                                     y: round2(v.y + dy) })) });
  }

  moveVertex(id, index, x, y) {
    const mask = this.maskById(id);
    if (!mask || !mask.vertices[index]) return;
    const vertices = mask.vertices.slice();
    vertices[index] = { ...vertices[index], x: Math.round(x * 100) / 100,
                        y: Math.round(y * 100) / 100 };
    this.editMask(id, { vertices });
  }

  // Removes a vertex, keeping at least two (three for a closed outline).
  deleteVertex(id, index) {
    const mask = this.maskById(id);
    if (!mask || mask.vertices.length <= (mask.closed ? 3 : 2)) return false;
    this.editMask(id, { vertices: mask.vertices.filter((_, i) => i !== index) });
    return true;
  }

  setClosed(id, closed) {
    const mask = this.maskById(id);
    if (!mask || mask.closed === closed || (closed && mask.vertices.length < 3)) return;
    this.editMask(id, { closed });
  }

  deleteMask(id) {
    if (!this.maskById(id)) return;
    this.edit(() => {
      this.masks = this.masks.filter((m) => m.id !== id);
      if (this.selected === id) this.selected = null;
    });
    this.emit("masks");
  }

  select(id) {
    if (this.selected === id) return;
    this.selected = id;
    this.emit("selection");
  }

  // --- scene documents ------------------------------------------------------------------------

  // The scene as the server and the command line read it: every mask, and the parameters that
  // differ from their defaults; mask pickers by position, which stays exact with equal names.
  toScene() {
    const positions = new Map(this.masks.map((m, i) => [m.id, i + 1]));
    const masks = this.masks.map((m) => ({
      name: m.name, color: m.color, ...m.extra, closed: m.closed, vertices: m.vertices,
    }));
    const params = {};
    for (const p of this.params) {
      let value = this.values.get(keyOf(p.group, p.name));
      if (p.type === "mask") value = value === null ? null : positions.get(value) ?? null;
      if (value === p.default) continue;
      if (p.group) (params[p.group] ??= {})[p.name] = value;
      else params[p.name] = value;
    }
    return { masks, params };
  }

  // Replaces masks and values with a scene's (as the server wrote it back after checking).
  // Clears the undo history: an undo never crosses a loaded scene.
  fromScene(scene) {
    const masks = scene.masks || [];
    this.masks = masks.map((m, i) => {
      const { name, color, closed, vertices, ...extra } = m;
      return {
        id: i + 1,
        name: name ?? `Mask ${i + 1}`,
        color, // kept as written: [r, g, b] fractions may not survive a trip through hex
        closed: closed ?? true,
        vertices,
        extra,
      };
    });
    this.nextId = this.masks.length + 1;
    this.selected = null;
    this.undoStack = [];
    this.redoStack = [];
    this.before = null;
    this.dragging = false;
    this.reset();
    const params = scene.params || {};
    for (const p of this.params) {
      const source = p.group ? params[p.group] : params;
      if (!source || !(p.name in source)) continue;
      this.values.set(keyOf(p.group, p.name), this.readValue(p, source[p.name]));
    }
    this.emit("masks");
    this.emit("params");
  }

  readValue(p, v) {
    switch (p.type) {
      case "mask":
        if (v === null) return null;
        if (typeof v === "number") return this.masks[v - 1]?.id ?? null;
        return this.masks.find((m) => m.name === v)?.id ?? null;
      case "color":
        return paramColor(v) ?? p.default;
      case "popup":
        return typeof v === "number" ? p.choices[v - 1] ?? p.default : v;
      case "checkbox":
        return Boolean(v);
      default:
        return v;
    }
  }
}
