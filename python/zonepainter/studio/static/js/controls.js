// The parameter panels, built from the effect's own parameter list (GET /api/info): one section
// per group in declaration order, with every control at its real range and default. Colorize's
// sixty controls are shown as its twenty slots. The controls write into the scene model and
// follow it when it changes (a loaded scene, a deleted mask).

import { keyOf, maskHex } from "./scene.js";

const slug = (text) => text.toLowerCase().replace(/[^a-z0-9]+/g, "-").replace(/^-|-$/g, "");
export const controlId = (group, name) => `p-${group ? slug(group) + "--" : ""}${slug(name)}`;

function element(tag, props = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k === "dataset") Object.assign(e.dataset, v);
    else if (k in e) e[k] = v;
    else e.setAttribute(k, v);
  }
  e.append(...children);
  return e;
}

// Colours carry alpha as "#aarrggbb"; the colour input shows red, green and blue only and the
// alpha the value had stays.
const rgbOf = (value) => (value.length === 9 ? "#" + value.slice(3) : value);
const withRgb = (value, rgb) => (value.length === 9 ? value.slice(0, 3) + rgb.slice(1) : rgb);

const sliderStep = (p) => (p.range[1] - p.range[0] > 10 ? 1 : 0.01);

export class Controls {
  constructor(root, model) {
    this.root = root;
    this.model = model;
    this.inputs = new Map(); // key -> { p, sync() }
    this.sections = new Map(); // group -> { summary, params, maskKey }
    this.build();
    model.on((kind) => {
      if (kind === "masks") this.refreshMaskPickers();
      if (kind === "masks" || kind === "params") this.syncAll();
    });
  }

  build() {
    const groups = new Map();
    for (const p of this.model.params) {
      const g = p.group ?? "General";
      if (!groups.has(g)) groups.set(g, []);
      groups.get(g).push(p);
    }
    for (const [group, params] of groups) {
      const summary = element("summary", {}, group);
      const section = element("details", { dataset: { group } }, summary);
      if (group === "Colorize") this.buildSlots(section, params);
      else for (const p of params) section.append(this.row(p));
      this.root.append(section);
      const maskParam = params.find((p) => p.type === "mask" && p.name === "Mask");
      const label = element("span", { className: "mask-name" });
      summary.append(label);
      this.sections.set(group, { summary, params, label,
                                 maskKey: maskParam ? keyOf(maskParam.group, maskParam.name) : null });
    }
    this.refreshMaskPickers();
    this.syncAll();
  }

  buildSlots(section, params) {
    const slots = new Map();
    for (const p of params) {
      const n = (p.name.match(/(\d+)$/) || [])[1] ?? "";
      if (!slots.has(n)) slots.set(n, []);
      slots.get(n).push(p);
    }
    for (const [n, list] of slots) {
      const summary = element("summary", {}, `Slot ${n}`);
      const slot = element("details", { dataset: { slot: n } }, summary);
      for (const p of list) slot.append(this.row(p));
      section.append(slot);
      const label = element("span", { className: "mask-name" });
      summary.append(label);
      this.sections.set(`Colorize ${n}`, { summary, params: list, label,
                                           maskKey: keyOf("Colorize", `Mask ${n}`) });
    }
  }

  row(p) {
    const key = keyOf(p.group, p.name);
    const id = controlId(p.group, p.name);
    const label = element("label", { htmlFor: id, title: `${p.name} (double-click: default)` },
                          p.name);
    const row = element("div", { className: "row" }, label);
    const set = (value) => this.model.set(p.group, p.name, value);
    const common = { id, dataset: { group: p.group ?? "", name: p.name } };
    let sync;
    switch (p.type) {
      case "slider": {
        const [min, max] = p.range;
        const range = element("input", { ...common, type: "range", min, max, step: sliderStep(p) });
        const number = element("input", { type: "number", min, max, step: "any",
                                          title: `${min} .. ${max}` });
        // A drag is one undo step and renders proxies until the thumb is let go.
        range.addEventListener("input", () => {
          this.model.beginGesture();
          set(Number(range.value));
        });
        range.addEventListener("change", () => this.model.endGesture());
        range.addEventListener("blur", () => this.model.endGesture());
        number.addEventListener("change", () => {
          const v = Number(number.value);
          if (number.value === "" || !Number.isFinite(v)) return sync();
          set(Math.max(min, Math.min(max, v)));
          sync();
        });
        row.append(range, number);
        sync = () => {
          const v = this.model.values.get(key);
          range.value = v;
          if (document.activeElement !== number) number.value = v;
        };
        break;
      }
      case "checkbox": {
        const box = element("input", { ...common, type: "checkbox" });
        box.addEventListener("change", () => set(box.checked));
        row.append(box);
        sync = () => { box.checked = this.model.values.get(key); };
        break;
      }
      case "color": {
        const input = element("input", { ...common, type: "color" });
        input.addEventListener("input", () => {
          this.model.beginGesture();
          set(withRgb(this.model.values.get(key), input.value));
        });
        input.addEventListener("change", () => this.model.endGesture());
        input.addEventListener("blur", () => this.model.endGesture());
        row.append(input);
        sync = () => { input.value = rgbOf(this.model.values.get(key)); };
        break;
      }
      case "popup": {
        const select = element("select", common,
                               ...p.choices.map((c) => element("option", { value: c }, c)));
        select.addEventListener("change", () => set(select.value));
        row.append(select);
        sync = () => { select.value = this.model.values.get(key); };
        break;
      }
      case "mask": {
        const select = element("select", { ...common, className: "mask-picker" });
        select.addEventListener("change", () => set(select.value === "" ? null : Number(select.value)));
        row.append(select);
        sync = () => {
          const id = this.model.values.get(key);
          select.value = id !== null && this.model.maskById(id) ? String(id) : "";
        };
        this.inputs.set(key, { p, sync, select });
        break;
      }
      default:
        row.append(element("span", { className: "note" }, `(${p.type})`));
        sync = () => {};
    }
    if (!this.inputs.has(key)) this.inputs.set(key, { p, sync });
    label.addEventListener("dblclick", () => set(p.default));
    return row;
  }

  refreshMaskPickers() {
    for (const { p, select } of this.inputs.values()) {
      if (p.type !== "mask") continue;
      select.replaceChildren(element("option", { value: "" }, "(none)"),
                             ...this.model.masks.map((m, i) =>
                               element("option", { value: String(m.id) }, `${i + 1}. ${m.name}`)));
    }
  }

  syncAll() {
    for (const { sync } of this.inputs.values()) sync();
    for (const s of this.sections.values()) {
      s.summary.classList.toggle("changed", s.params.some((p) => !this.model.isDefault(p)));
      if (s.label && s.maskKey) {
        const mask = this.model.maskById(this.model.values.get(s.maskKey));
        s.label.textContent = mask ? mask.name : "";
        s.label.style.color = mask ? maskHex(mask.color) : "";
      }
    }
  }
}
