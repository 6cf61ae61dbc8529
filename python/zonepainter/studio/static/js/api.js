// The studio's JSON API as functions. Every request names this page (a tab keeps its id across
// reloads), so the server keeps one effect session and one render slot per page.

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

// An answer the server gave with a status and a message.
export class ApiError extends Error {
  constructor(status, message, body) {
    super(message);
    this.status = status;
    this.superseded = Boolean(body && body.superseded);
    this.exists = Boolean(body && body.exists); // a file the request may replace only if told
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
export const state = () => call("/api/state").then(asJson);
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

// One render: the PNG and what the server measured.
export async function render(scene, view, seq) {
  const started = performance.now();
  const response = await call("/api/render", { method: "POST", json: { scene, view, seq } });
  const blob = await response.blob();
  const h = response.headers;
  return {
    blob,
    seq: Number(h.get("X-Seq")),
    view: h.get("X-View"),
    renderMs: Number(h.get("X-Render-Ms")),
    encodeMs: Number(h.get("X-Encode-Ms")),
    reused: h.get("X-Label-Map") === "reused",
    roundTripMs: performance.now() - started,
  };
}
