// The studio page: loads the parameter list and the picture, wires the toolbar, the panels,
// the file actions and the keyboard, and keeps the frame rendered.
//
// Rendering: every change asks for a render after a short pause (so a dragged slider sends a
// request every few frames, not on every input event); the server keeps at most one waiting
// per page and drops the ones a newer request replaced. A response older than the frame on
// screen is ignored.

import * as api from "./api.js";
import { Controls } from "./controls.js";
import { MaskList } from "./masks.js";
import { SceneModel } from "./scene.js";
import { Viewer } from "./viewer.js";

const DEBOUNCE_MS = 30;
const $ = (selector) => document.querySelector(selector);

const page = {
  model: null,
  viewer: null,
  view: "image",
  picture: null,
  seq: 0,
  shown: null, // { seq, view, blob } of the frame on screen
  inflight: 0,
  timer: 0,
};
window.studio = page; // for the browser test and the console

function report(message, isError = false) {
  const footer = $("#message");
  footer.textContent = message;
  footer.classList.toggle("error", isError);
  if (isError) console.warn(message);
}

// The spinner turns while a request runs or a render is due.
function busy(delta) {
  page.inflight += delta;
  const on = page.inflight > 0 || page.timer !== 0;
  $("#spinner").hidden = !on;
  document.body.dataset.busy = on ? "1" : "0";
}

// --- rendering ---------------------------------------------------------------------------------

function scheduleRender() {
  if (!page.picture) return;
  clearTimeout(page.timer);
  page.timer = setTimeout(() => {
    page.timer = 0;
    renderNow();
  }, DEBOUNCE_MS);
  busy(0);
}

async function renderNow() {
  const seq = ++page.seq;
  const view = page.view;
  busy(+1);
  try {
    const r = await api.render(page.model.toScene(), view, seq);
    if (page.shown && r.seq <= page.shown.seq) return;
    const bitmap = await createImageBitmap(r.blob);
    if (page.shown && r.seq <= page.shown.seq) return;
    page.shown = { seq: r.seq, view: r.view, blob: r.blob };
    page.viewer.setFrame(bitmap);
    $("#timing").textContent = `render ${r.renderMs.toFixed(0)} ms` +
      (r.reused ? " (label map reused)" : "") + ` \u00b7 round trip ${r.roundTripMs.toFixed(0)} ms`;
    document.body.dataset.shownSeq = String(r.seq);
    document.body.dataset.shownView = r.view;
    if ($("#message").classList.contains("error")) report("");
  } catch (e) {
    if (!e.superseded) report(e.message, true);
  } finally {
    busy(-1);
  }
}

// The frame on screen as PNG bytes in base64 (the browser test compares them with the tool's).
page.shownPng = async () => {
  if (!page.shown) return null;
  const bytes = new Uint8Array(await page.shown.blob.arrayBuffer());
  let text = "";
  for (let i = 0; i < bytes.length; i += 0x8000)
    text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(text);
};

// --- picture and files -------------------------------------------------------------------------

async function takePicture(image) {
  page.picture = image;
  $("#empty").hidden = Boolean(image);
  if (!image) return;
  $("#image-info").textContent =
    `${image.name}: ${image.width} \u00d7 ${image.height}, ${image.bits === 32 ? "float" : image.bits + "-bit"}` +
    (image.alpha ? ", alpha" : "");
  $("#export-bits").value = String(image.bits === 32 ? 16 : image.bits);
  const original = await createImageBitmap(await api.original());
  page.viewer.setPicture(image.width, image.height, original);
  page.shown = null;
  scheduleRender();
}

async function act(label, work) {
  busy(+1);
  try {
    const message = await work();
    if (message) report(message);
  } catch (e) {
    report(`${label}: ${e.message}`, true);
  } finally {
    busy(-1);
  }
}

const openPicture = () => act("open", async () => {
  const path = $("#image-path").value.trim();
  const r = await api.openPicture(path);
  await takePicture(r.image);
  return `opened ${path}`;
});

const uploadPicture = (file) => act("upload", async () => {
  const r = await api.upload(file);
  await takePicture(r.image);
  return `uploaded ${file.name}`;
});

// Sends a write that may not replace a file; when the server answers that the file exists, asks
// the user and, if they agree, sends it again allowing the replacement. null when they don't.
async function writeAskingFirst(path, send) {
  try {
    return await send(false);
  } catch (e) {
    if (!e.exists) throw e;
    if (!window.confirm(`${path} already exists. Replace it?`)) return null;
    return await send(true);
  }
}

const saveScene = () => act("save", async () => {
  const path = $("#scene-path").value.trim();
  const scene = page.model.toScene();
  const r = await writeAskingFirst(path, (overwrite) => api.saveScene(path, scene, overwrite));
  if (!r) return `not saved: ${path} kept`;
  document.body.dataset.savedScene = r.path;
  return `saved ${r.path} (${r.bytes} bytes)`;
});

const loadScene = () => act("load", async () => {
  const r = await api.loadScene($("#scene-path").value.trim());
  page.model.fromScene(r.scene);
  return `loaded ${r.path}`;
});

const exportResult = () => act("export", async () => {
  const path = $("#export-path").value.trim();
  const bits = Number($("#export-bits").value);
  const scene = page.model.toScene();
  const r = await writeAskingFirst(path,
                                   (overwrite) => api.exportResult(path, bits, scene, overwrite));
  if (!r) return `not exported: ${path} kept`;
  return `exported ${r.path} (${r.width} \u00d7 ${r.height}, ${r.bits} bits)`;
});

// --- toolbar and keys --------------------------------------------------------------------------

function setTool(tool) {
  page.viewer.tool = tool;
  $("#viewport").dataset.tool = tool;
  for (const b of document.querySelectorAll("[data-tool]")) b.classList.toggle("on", b.dataset.tool === tool);
}

function setView(view) {
  page.view = view;
  for (const b of document.querySelectorAll("[data-view]")) b.classList.toggle("on", b.dataset.view === view);
  scheduleRender();
}

function toggle(button, on) {
  button.classList.toggle("on", on);
  return on;
}

function undoRedo(redo) {
  if (redo ? page.model.redo() : page.model.undo()) report(redo ? "redone" : "undone");
  syncHistory();
}

function syncHistory() {
  $("#undo").disabled = !page.model.undoStack.length;
  $("#redo").disabled = !page.model.redoStack.length;
}

function keyDown(e) {
  const typing = e.target.matches("input[type=text], input[type=number], select, textarea");
  const ctrl = e.ctrlKey || e.metaKey;
  const key = e.key;
  if (key === "Escape") {
    if (!$("#help").hidden) $("#help").hidden = true;
    else if (!page.viewer.cancel()) page.model.select(null);
    return;
  }
  if (ctrl && (key === "s" || key === "e")) {
    e.preventDefault();
    (key === "s" ? saveScene : exportResult)();
    return;
  }
  if (typing) return;
  if (ctrl && (key === "z" || key === "Z" || key === "y")) {
    e.preventDefault();
    undoRedo(key === "y" || e.shiftKey);
    return;
  }
  if (ctrl || e.altKey) return;
  const actions = {
    b: () => setTool("stroke"), s: () => setTool("shape"), v: () => setTool("select"),
    h: () => setTool("pan"),
    1: () => setView("image"), 2: () => setView("strokes"), 3: () => setView("labels"),
    4: () => setView("weights"),
    c: () => $("#split").click(), o: () => $("#overlay").click(),
    f: () => page.viewer.fit(), a: () => page.viewer.actualSize(),
    "+": () => page.viewer.zoomBy(1.25), "=": () => page.viewer.zoomBy(1.25),
    "-": () => page.viewer.zoomBy(0.8),
    "?": () => { $("#help").hidden = !$("#help").hidden; },
    Delete: () => page.model.selected !== null && page.model.deleteMask(page.model.selected),
    Backspace: () => page.model.selected !== null && page.model.deleteMask(page.model.selected),
    " ": () => { page.viewer.spaceDown = true; $("#viewport").classList.add("panning"); },
  };
  const action = actions[key.length === 1 ? key.toLowerCase() : key] || actions[key];
  if (action) {
    e.preventDefault();
    action();
  }
}

function keyUp(e) {
  if (e.key === " ") {
    page.viewer.spaceDown = false;
    $("#viewport").classList.remove("panning");
  }
}

// --- start -------------------------------------------------------------------------------------

async function start() {
  const [info, state] = await Promise.all([api.info(), api.state()]);
  const model = new SceneModel(info.params);
  page.model = model;
  page.viewer = new Viewer($("#canvas"), model);
  new Controls($("#params"), model);
  new MaskList($("#mask-list"), $("#mask-count"), model, report);
  model.fromScene(state.scene || {});
  model.on((kind) => {
    if (kind === "masks" || kind === "params") scheduleRender();
    syncHistory();
  });
  syncHistory();
  if (state.scene_path) $("#scene-path").value = state.scene_path;

  page.viewer.onZoom = (scale) => { $("#zoom").textContent = `${Math.round(scale * 100)}%`; };
  page.viewer.onStroke = (vertices, closed) => model.addMask(vertices, closed);
  page.viewer.onSelect = (id) => model.select(id);

  for (const b of document.querySelectorAll("[data-tool]")) b.addEventListener("click", () => setTool(b.dataset.tool));
  for (const b of document.querySelectorAll("[data-view]")) b.addEventListener("click", () => setView(b.dataset.view));
  $("#undo").addEventListener("click", () => undoRedo(false));
  $("#redo").addEventListener("click", () => undoRedo(true));
  $("#split").addEventListener("click", (e) => {
    page.viewer.split = toggle(e.currentTarget, !page.viewer.split);
    page.viewer.draw();
  });
  $("#overlay").addEventListener("click", (e) => {
    page.viewer.showPaths = toggle(e.currentTarget, !page.viewer.showPaths);
    page.viewer.draw();
  });
  toggle($("#overlay"), true);
  $("#fit").addEventListener("click", () => page.viewer.fit());
  $("#image-open").addEventListener("click", openPicture);
  $("#image-upload").addEventListener("change", (e) => {
    const file = e.target.files[0];
    if (!file) return;
    if (file.size > info.limits.upload_bytes)
      report(`upload: ${file.name} is ${file.size} bytes; at most ${info.limits.upload_bytes}`, true);
    else uploadPicture(file);
    e.target.value = "";
  });
  $("#scene-load").addEventListener("click", loadScene);
  $("#scene-save").addEventListener("click", saveScene);
  $("#export").addEventListener("click", exportResult);
  $("#help-button").addEventListener("click", () => { $("#help").hidden = !$("#help").hidden; });
  $("#help-close").addEventListener("click", () => { $("#help").hidden = true; });
  $("#help").addEventListener("click", (e) => { if (e.target.id === "help") $("#help").hidden = true; });
  document.addEventListener("keydown", keyDown);
  document.addEventListener("keyup", keyUp);

  setTool("stroke");
  setView("image");
  if (state.image) await takePicture(state.image);
  else $("#empty").hidden = false;
  document.body.dataset.ready = "1";
  report(`${info.about}: ${info.params.length} parameters. Press ? for the shortcuts.`);
}

start().catch((e) => report(`the studio could not start: ${e.message}`, true));
