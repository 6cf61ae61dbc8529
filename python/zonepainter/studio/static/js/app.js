// The studio page: loads the parameter list and the picture, wires the toolbar, the panels,
// the file actions and the keyboard, and keeps the frame rendered.
//
// Rendering: at most one request is in flight, and it carries the newest scene. A change while
// one runs marks the frame stale; the answer's arrival sends the next request straight away. So
// a drag shows a new frame every round trip, never waits for the input to pause, and never
// queues frames it has moved past. While a gesture is open (a slider or a stroke being dragged)
// the server renders a proxy, the picture reduced as a host reduces a layer; letting go asks for
// the full-resolution frame.

import * as api from "./api.js";
import { Controls } from "./controls.js";
import { MaskList } from "./masks.js";
import { SceneModel } from "./scene.js";
import { Viewer } from "./viewer.js";
import { recolour } from "./zones.js";

// A proxy has at most about this many pixels: a quarter of each side at 1080p, where a warm
// frame then costs a few tens of milliseconds and a stroke's spreading a few hundred.
const PROXY_PIXELS = 160000;
const $ = (selector) => document.querySelector(selector);

const page = {
  model: null,
  viewer: null,
  view: "image",
  picture: null,
  source: { kind: "start" }, // where the picture came from, to send again to a new session
  proxies: true, // the user's choice: proxies while dragging
  seq: 0,
  shown: null, // { seq, view, proxy, blob } of the frame on screen
  running: false, // a render request is in flight
  stale: false, // the frame on screen is older than the page's state
  requestedProxy: 1, // the proxy factor of the last request sent
  acting: 0, // file actions in flight
  frames: 0, // frames shown since the page started
  proxyFrames: 0, // of which proxies
};
window.studio = page; // for the browser test and the console

function report(message, isError = false) {
  const footer = $("#message");
  footer.textContent = message;
  footer.classList.toggle("error", isError);
  if (isError) console.warn(message);
}

// The spinner turns while a request runs or a frame is due.
function busy() {
  const on = page.running || page.stale || page.acting > 0;
  $("#spinner").hidden = !on;
  document.body.dataset.busy = on ? "1" : "0";
}

// --- rendering ---------------------------------------------------------------------------------

function proxyFactor() {
  if (!page.proxies || !page.model.dragging || !page.picture) return 1;
  const pixels = page.picture.width * page.picture.height;
  let n = 1;
  while (n < 16 && pixels / (n * n) > PROXY_PIXELS) n *= 2;
  return n;
}

function scheduleRender() {
  if (!page.picture) return;
  page.stale = true;
  busy();
  pump();
}

async function pump() {
  if (page.running || !page.stale || !page.picture) return;
  page.stale = false;
  page.running = true;
  busy();
  try {
    await renderOnce();
  } finally {
    page.running = false;
    busy();
    pump();
  }
}

async function renderOnce() {
  const seq = ++page.seq;
  const proxy = proxyFactor();
  page.requestedProxy = proxy;
  try {
    const r = await api.render(page.model.toScene(), page.view, seq, proxy);
    let bitmap = await createImageBitmap(r.blob);
    if (r.view === "labels") bitmap = await recolour(bitmap, page.model);
    if (page.shown && r.seq <= page.shown.seq) return;
    page.shown = { seq: r.seq, view: r.view, proxy: r.proxy, blob: r.blob, bitmap };
    page.frames++;
    if (r.proxy > 1) page.proxyFrames++;
    page.viewer.setFrame(bitmap);
    $("#timing").textContent = `render ${r.renderMs.toFixed(0)} ms` +
      (r.proxy > 1 ? ` at 1/${r.proxy}` : "") + (r.reused ? " (label map reused)" : "") +
      ` \u00b7 round trip ${r.roundTripMs.toFixed(0)} ms`;
    const data = document.body.dataset;
    data.shownSeq = String(r.seq);
    data.shownView = r.view;
    data.shownProxy = String(r.proxy);
    data.frames = String(page.frames);
    if ($("#message").classList.contains("error")) report("");
  } catch (e) {
    if (e.gone) {
      try {
        await recover();
        page.stale = true;
      } catch (again) {
        report(`this page's session was closed and could not be taken up again: ${again.message}`,
               true);
      }
    } else if (!e.superseded) {
      report(e.message, true);
    }
  }
}

// The server closed this page's session (more pages came than it keeps): take up a new one and
// give it this page's picture again; the scene goes with every render anyway.
async function recover() {
  const state = await api.state();
  const source = page.source;
  if (source.kind === "path") await api.openPicture(source.path);
  else if (source.kind === "upload") await api.upload(source.file);
  else if (!state.image) throw new Error("the studio's picture is gone");
  document.body.dataset.recovered = String(Number(document.body.dataset.recovered || 0) + 1);
  report("this page's session had been closed to make room for other pages; " +
         "its picture and scene were sent again");
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

// The frame as the page shows it (the labels view in the masks' colours), as PNG in base64.
page.displayedPng = async () => {
  if (!page.shown) return null;
  const { bitmap } = page.shown;
  const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
  canvas.getContext("2d").drawImage(bitmap, 0, 0);
  const png = await canvas.convertToBlob({ type: "image/png" });
  const bytes = new Uint8Array(await png.arrayBuffer());
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

// Runs a file action; one whose session was closed meanwhile runs again on a new one.
async function act(label, work) {
  page.acting++;
  busy();
  try {
    let message;
    try {
      message = await work();
    } catch (e) {
      if (!e.gone) throw e;
      await recover();
      message = await work();
    }
    if (message) report(message);
  } catch (e) {
    report(`${label}: ${e.message}`, true);
  } finally {
    page.acting--;
    busy();
  }
}

const openPicture = () => act("open", async () => {
  const path = $("#image-path").value.trim();
  const r = await api.openPicture(path);
  page.source = { kind: "path", path };
  await takePicture(r.image);
  return `opened ${path}`;
});

const uploadPicture = (file) => act("upload", async () => {
  const r = await api.upload(file);
  page.source = { kind: "upload", file };
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
  explainView();
  scheduleRender();
}

// A note over the canvas when the view would otherwise puzzle: the weights view is black
// until some group's Effects amount is above 0.
function explainView() {
  let note = "";
  if (page.view === "weights") {
    const effects = page.model.params.filter((p) => p.name === "Effects" && p.type === "slider");
    if (!effects.some((p) => page.model.get(p.group, p.name) > 0))
      note = "Black: the weights are the groups' Effects amounts (blur, fill light, glow), " +
             "and no group has Effects above 0. Raise a group's Effects to see where they apply.";
  } else if (page.view === "labels") {
    note = "Each zone in its mask's colour; grey zones come from masks no group uses, which " +
           "protect their area: they spread a label that leaves colours unchanged.";
  }
  $("#view-note").textContent = note;
  $("#view-note").hidden = !note;
}

function toggle(button, on) {
  button.classList.toggle("on", on);
  return on;
}

function undoRedo(redo) {
  page.viewer.cancel();
  if (redo ? page.model.redo() : page.model.undo()) report(redo ? "redone" : "undone");
  syncHistory();
}

// Delete removes the vertex picked with the Select tool, else the selected mask.
function deleteSelection() {
  const model = page.model;
  if (model.selected === null) return;
  const vertex = page.viewer.selectedVertex;
  if (vertex && vertex.id === model.selected) {
    if (!model.deleteVertex(vertex.id, vertex.index))
      report("a path keeps at least two vertices (three when closed)", true);
    page.viewer.selectedVertex = null;
  } else {
    model.deleteMask(model.selected);
  }
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
    Delete: deleteSelection,
    Backspace: deleteSelection,
    k: () => {
      const mask = page.model.maskById(page.model.selected);
      if (mask) page.model.setClosed(mask.id, !mask.closed);
    },
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

// What a reload needs when the server no longer has this page's session (closed for other
// pages, or the server restarted): the session it had, where its picture came from and its
// scene. Kept in the tab's own storage as the page goes; too large a scene is not kept.
const KEPT = "zonepainter-studio-page";

function keepForReload() {
  if (!page.model) return;
  const source = page.source;
  try {
    sessionStorage.setItem(KEPT, JSON.stringify({
      session: api.session(),
      path: source.kind === "path" ? source.path : null,
      upload: source.kind === "upload" ? source.file.name : null,
      scene: page.model.toScene(),
    }));
  } catch {
    sessionStorage.removeItem(KEPT);
  }
}

// After a reload: when the session the page had is gone, its own picture and scene rather than
// the studio's starting ones the new session holds. Returns a message for the bar, or "".
async function takeBack(state) {
  let kept = null;
  try {
    kept = JSON.parse(sessionStorage.getItem(KEPT) || "null");
  } catch {
    // unreadable: nothing to take back
  }
  sessionStorage.removeItem(KEPT);
  if (!kept || !kept.session || kept.session === state.session) return "";
  state.scene = kept.scene;
  if (kept.path) {
    state.image = (await api.openPicture(kept.path)).image;
    page.source = { kind: "path", path: kept.path };
  } else if (kept.upload) {
    return `this page's session had been closed: its scene is back; upload ${kept.upload} again`;
  }
  return "this page's session had been closed: its picture and scene were sent again";
}

async function start() {
  const [info, state] = await Promise.all([api.info(), api.state()]);
  let takenBack = "";
  try {
    takenBack = await takeBack(state);
  } catch (e) {
    takenBack = `this page's picture could not be opened again: ${e.message}`;
  }
  window.addEventListener("pagehide", keepForReload);
  const model = new SceneModel(info.params);
  page.model = model;
  page.viewer = new Viewer($("#canvas"), model);
  new Controls($("#params"), model);
  new MaskList($("#mask-list"), $("#mask-count"), model, report);
  model.fromScene(state.scene || {});
  model.on((kind) => {
    if (kind === "masks" || kind === "params") scheduleRender();
    if (kind === "params") explainView();
    // Let go: the frame on screen (or the one on its way) is a proxy; the full one follows.
    if (kind === "gesture" && !model.dragging && page.requestedProxy > 1) scheduleRender();
    syncHistory();
  });
  $("#auto-group").addEventListener("change", (e) => { model.autoGroup = e.target.checked; });
  model.autoGroup = $("#auto-group").checked;
  $("#proxy").addEventListener("change", (e) => { page.proxies = e.target.checked; });
  page.proxies = $("#proxy").checked;
  syncHistory();
  if (state.scene_path) $("#scene-path").value = state.scene_path;

  page.viewer.onZoom = (scale) => { $("#zoom").textContent = `${Math.round(scale * 100)}%`; };
  page.viewer.onStroke = (vertices, closed, kind) => model.addMask(vertices, closed, kind);
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
  report(takenBack || `${info.about}: ${info.params.length} parameters. Press ? for the shortcuts.`);
}

start().catch((e) => report(`the studio could not start: ${e.message}`, true));
