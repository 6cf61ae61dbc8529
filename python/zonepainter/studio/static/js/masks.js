// The mask list: select, rename, recolour, close or open and delete the layer's masks, and what
// each one does: the groups that use it, or, for a mask no group uses, that it protects its area
// (it spreads a label of its own that leaves colours as they are, holding the others back).
// Edits go through the scene model, so they are undoable and re-render the frame.

import { maskHex, nameBytes } from "./scene.js";

export class MaskList {
  constructor(list, count, model, report) {
    this.list = list;
    this.count = count;
    this.model = model;
    this.report = report; // (message, isError)
    model.on((kind) => {
      if (kind === "masks") this.build();
      if (kind === "params") this.showUses();
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
      const kind = Object.assign(document.createElement("button"),
                                 { className: "kind",
                                   textContent: `${i + 1} ${m.closed ? "shape" : "stroke"}`,
                                   title: m.closed ? "Closed outline: click to open it (K)"
                                                   : "Open stroke: click to close it (K)" });
      kind.addEventListener("click", () => model.setClosed(m.id, !m.closed));
      const use = Object.assign(document.createElement("span"), { className: "use" });
      const remove = Object.assign(document.createElement("button"),
                                   { textContent: "\u00d7", title: "Delete the mask" });
      remove.addEventListener("click", (e) => {
        e.stopPropagation();
        model.deleteMask(m.id);
      });
      li.addEventListener("pointerdown", () => model.select(m.id));
      li.append(color, kind, name, use, remove);
      return li;
    }));
    this.count.textContent = model.masks.length ? `(${model.masks.length})` : "";
    this.showUses();
    this.markSelected();
  }

  showUses() {
    for (const li of this.list.children) {
      const users = this.model.usersOf(Number(li.dataset.mask));
      const use = li.querySelector(".use");
      use.classList.toggle("protects", !users.length);
      use.textContent = users.length ? users.join(", ") : "protects this area";
      use.title = users.length ? `Used by ${users.join(", ")}`
        : "No group uses this mask: it spreads a label of its own that leaves colours " +
          "unchanged, so other groups' corrections stop where it takes over. Pick it in a " +
          "group to correct this area.";
    }
  }

  markSelected() {
    for (const li of this.list.children)
      li.classList.toggle("selected", Number(li.dataset.mask) === this.model.selected);
    const chosen = this.list.querySelector("li.selected");
    if (chosen) chosen.scrollIntoView({ block: "nearest" });
  }
}
