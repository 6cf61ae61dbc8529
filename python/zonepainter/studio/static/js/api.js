// The studio's JSON API as functions. Every request names this page (a tab keeps its id across
// reloads), so the server keeps one effect session and one render slot per page, and, once
// state() has answered, the session it was given: when the server has closed that session to make
// room for other pages, requests fail with `gone` instead of working on a fresh one that holds
// another picture.

const CLIENT_KEY = "zonepainter-studio-client";

function clientId() {
  let id = sessionStorage.getItem(CLIENT_KEY);
  if (!id) {
    id = Array.from(crypto.getRandomValues(new Uint8Array(12)),
                    (b) => b.toString(16).padStart(2, "0")).join("");
    sessionStorage.setItem(CLIENT_KEY, id);
  }
  return id;
}

const CLIENT = clientId();
let token = null; // the server's token for this page's session, from state()

// An answer the server gave with a status and a message.
export class ApiError extends Error {
  constructor(status, message, body) {
    super(message);
    this.status = status;
    this.superseded = Boolean(body && body.superseded);
    this.exists = Boolean(body && body.exists); // a file the request may replace only if told
    this.gone = Boolean(body && body.gone); // the page's session was closed
  }
}

async function failure(response) {
  let body = null;
  try {
    body = await response.json();
  } catch {
    // not JSON: the status text has to do
  }
  const message = (body && body.error) || `${response.status} ${response.statusText}`;
  return new ApiError(response.status, message, body);
}

async function call(path, { method = "GET", json, body, type, query } = {}) {
  const headers = { "X-Studio-Client": CLIENT };
  if (token && path !== "/api/state") headers["X-Studio-Session"] = token;
  if (json !== undefined) {
    headers["Content-Type"] = "application/json";
    body = JSON.stringify(json);
  } else if (type) {
    headers["Content-Type"] = type;
  }
  const url = query ? `${path}?${new URLSearchParams(query)}` : path;
  const response = await fetch(url, { method, headers, body, cache: "no-store" });
  if (!response.ok) throw await failure(response);
  return response;
}

const asJson = (response) => response.json();

export const info = () => call("/api/info").then(asJson);
export const session = () => token;
// The page's picture and scene as the server holds them; takes up the session it names (a new
// one when the old was closed).
export async function state() {
  const s = await call("/api/state").then(asJson);
  token = s.session;
  return s;
}
export const original = () => call("/api/original").then((r) => r.blob());
export const openPicture = (path) =>
  call("/api/open", { method: "POST", json: { path } }).then(asJson);
export const upload = (file) =>
  call("/api/upload", { method: "POST", body: file, type: "application/octet-stream",
                        query: { name: file.name } }).then(asJson);
export const saveScene = (path, scene, overwrite = false) =>
  call("/api/scene/save", { method: "POST", json: { path, scene, overwrite } }).then(asJson);
export const loadScene = (path) =>
  call("/api/scene/load", { method: "POST", json: { path } }).then(asJson);
export const exportResult = (path, bits, scene, overwrite = false) =>
  call("/api/export", { method: "POST", json: { path, bits, scene, overwrite } }).then(asJson);

// One render: the PNG and what the server measured. proxy N renders the picture reduced N times.
export async function render(scene, view, seq, proxy = 1) {
  const started = performance.now();
  const response = await call("/api/render", { method: "POST",
                                               json: { scene, view, seq, proxy } });
  const blob = await response.blob();
  const h = response.headers;
  return {
    blob,
    seq: Number(h.get("X-Seq")),
    view: h.get("X-View"),
    proxy: Number(h.get("X-Proxy") || 1),
    renderMs: Number(h.get("X-Render-Ms")),
    encodeMs: Number(h.get("X-Encode-Ms")),
    reused: h.get("X-Label-Map") === "reused",
    roundTripMs: performance.now() - started,
  };
}
