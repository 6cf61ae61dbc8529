// The mask list: select, rename, recolour and delete the layer's masks. Edits go through the
// scene model, so they are undoable and re-render the frame.

import { maskHex, nameBytes } from "./scene.js";

export class MaskList {
  constructor(list, count, model, report) {
    this.list = list;
    this.count = count;
    this.model = model;
    this.report = report; // (message, isError)
    model.on((kind) => {
      if (kind === "masks") this.build();
      if (kind === "selection") this.markSelected();
    });
    this.build();
  }

  build() {
    const model = this.model;
    this.list.replaceChildren(...model.masks.map((m, i) => {
      const li = document.createElement("li");
      li.dataset.mask = m.id;
      const color = Object.assign(document.createElement("input"),
                                  { type: "color", value: maskHex(m.color), title: "Mask colour" });
      color.addEventListener("change", () => model.editMask(m.id, { color: color.value }));
      const name = Object.assign(document.createElement("input"),
                                 { type: "text", value: m.name, title: "Mask name (at most 31 bytes)",
                                   spellcheck: false });
      name.addEventListener("change", () => {
        try {
          model.editMask(m.id, { name: name.value });
        } catch (e) {
          this.report(e.message, true);
          name.value = m.name;
          name.classList.remove("bad");
        }
      });
      name.addEventListener("input", () => name.classList.toggle("bad", nameBytes(name.value) > 31));
      const kind = Object.assign(document.createElement("span"),
                                 { className: "kind", textContent: `${i + 1} ${m.closed ? "shape" : "stroke"}` });
      const remove = Object.assign(document.createElement("button"),
                                   { textContent: "\u00d7", title: "Delete the mask" });
      remove.addEventListener("click", (e) => {
        e.stopPropagation();
        model.deleteMask(m.id);
      });
      li.addEventListener("pointerdown", () => model.select(m.id));
      li.append(color, kind, name, remove);
      return li;
    }));
    this.count.textContent = model.masks.length ? `(${model.masks.length})` : "";
    this.markSelected();
  }

  markSelected() {
    for (const li of this.list.children)
      li.classList.toggle("selected", Number(li.dataset.mask) === this.model.selected);
    const chosen = this.list.querySelector("li.selected");
    if (chosen) chosen.scrollIntoView({ block: "nearest" });
  }
}
