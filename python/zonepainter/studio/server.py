"""The studio's web server: the page, and a small JSON API over one effect session per page.

One asyncio server (aiohttp) answers the page; renders, picture decoding and file writes run on
worker threads, where the module lets go of the interpreter lock. Every failure is answered
with a status and a message the page shows: 400 for a bad request or a refused value, 403 for a
path outside the folder, 404 for a missing file, 409 for a render a newer one replaced or a
file that exists and may be replaced only when the request says so, 413 for a body over the
limits, 500 when the effect itself fails. Nothing a request carries stops the server.
"""

import asyncio
import concurrent.futures
import ipaddress
import json
import logging
import os
import re
import secrets
import tempfile
import time
from collections import OrderedDict

from aiohttp import web

from . import engine, pictures, pngs, proxies
from .folder import FileExists, Folder, PathRefused, write_atomically
from .latest import LatestWins, Superseded

log = logging.getLogger("zonepainter.studio")

STATIC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "static")

# A scene file may be 16 MiB (the scene reader's limit); a request carries one scene and a few
# fields beside it.
MAX_SCENE_BYTES = 16 * 1024 * 1024
MAX_JSON_BYTES = MAX_SCENE_BYTES + 64 * 1024
# Pages kept at once, each with its own effect session; the least recently seen goes first.
MAX_CLIENTS = 8
CLIENT_HEADER = "X-Studio-Client"
# The session a page was given by GET /api/state. A page that sends it learns when the session
# it knew is gone (410), rather than working on with a fresh one holding another picture.
SESSION_HEADER = "X-Studio-Session"
_CLIENT_ID = re.compile(r"[A-Za-z0-9_-]{1,64}")


class BadRequest(Exception):
    """A request the studio refuses as malformed; answered with 400 and the message."""


class SessionGone(Exception):
    """The page's session was closed (the least recently seen of too many pages); 410."""


def is_loopback(host):
    if host == "localhost":
        return True
    try:
        return ipaddress.ip_address(host.strip("[]")).is_loopback
    except ValueError:
        return False


class Client:
    """What the studio keeps for one page: its session, picture, scene and render slot."""

    def __init__(self, session, picture, scene):
        self.engine = session
        self.picture = picture
        self.scene = scene
        self.slot = LatestWins()
        self.token = secrets.token_hex(8)  # tells this session from a later one of the page
        self.proxies = proxies.Proxies()
        self.original_png = None  # the picture as the page shows it, made once
        self.scene_file = None  # the real path of the scene file last loaded or saved

    def require_picture(self):
        if self.picture is None:
            raise BadRequest("no picture loaded: open or upload one")
        return self.picture


class Studio:
    """The server's state: the folder, the starting picture and scene, and the pages."""

    def __init__(self, folder, picture=None, scene=None, scene_path=None, max_upload=256 << 20,
                 max_pixels=40_000_000, exposed=False):
        self.folder = Folder(folder)
        self.picture = picture
        self.scene = scene if scene is not None else {}
        self.scene_path = scene_path
        self.scene_file = os.path.realpath(scene_path) if scene_path else None
        self.max_upload = max_upload
        self.max_pixels = max_pixels
        self.exposed = exposed
        self.port = None
        self.params = engine.parameter_list()
        self.clients = OrderedDict()
        self.executor = concurrent.futures.ThreadPoolExecutor(max_workers=4,
                                                              thread_name_prefix="studio")

    async def in_thread(self, fn, *args):
        return await asyncio.get_running_loop().run_in_executor(self.executor, fn, *args)

    async def client(self, request):
        key = request.headers.get(CLIENT_HEADER, "page")
        if not _CLIENT_ID.fullmatch(key):
            raise BadRequest(f"{CLIENT_HEADER}: expected 1 to 64 letters, digits, - or _")
        client = self.clients.get(key)
        token = request.headers.get(SESSION_HEADER)
        if token is not None and (client is None or client.token != token):
            # A fresh session would hold the studio's starting picture, not the page's.
            raise SessionGone()
        if client is None:
            while len(self.clients) >= MAX_CLIENTS:
                _, gone = self.clients.popitem(last=False)
                # Closing waits for a render of that client still running; nobody waits on it.
                asyncio.get_running_loop().run_in_executor(self.executor, gone.engine.close)
            # A session takes about a millisecond to set up: made here, before any await, so
            # two first requests of one page can't each make one.
            client = Client(engine.Engine(), self.picture, self.scene)
            client.scene_file = self.scene_file
            self.clients[key] = client
        self.clients.move_to_end(key)
        return client

    async def close(self):
        for client in self.clients.values():
            await self.in_thread(client.engine.close)
        self.clients.clear()
        self.executor.shutdown(wait=True)


# --- request parts -----------------------------------------------------------------------------


def too_large(limit, size):
    return web.HTTPRequestEntityTooLarge(max_size=limit, actual_size=size)


async def body_chunks(request, limit):
    """The request's body as it arrives, to its end; 413 as soon as it passes `limit`.

    The stated length is checked first, and a body sent without one (chunked) is counted as it
    comes, so nothing past the limit is kept. One read is not enough: the stream hands over
    what has arrived so far, which for a body of more than a few kilobytes is often a part.
    """
    if request.content_length is not None and request.content_length > limit:
        raise too_large(limit, request.content_length)
    size = 0
    async for chunk in request.content.iter_chunked(1 << 20):
        size += len(chunk)
        if size > limit:
            raise too_large(limit, size)
        yield chunk


async def json_body(request):
    if request.content_type != "application/json":
        raise BadRequest("expected a JSON body (Content-Type: application/json)")
    raw = b"".join([chunk async for chunk in body_chunks(request, MAX_JSON_BYTES)])
    try:
        body = json.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, json.JSONDecodeError) as e:
        raise BadRequest(f"malformed JSON: {e}") from None
    except RecursionError:
        raise BadRequest("malformed JSON: nested too deeply") from None
    if not isinstance(body, dict):
        raise BadRequest("expected a JSON object")
    return body


def field(body, name, kinds, default=None, required=True):
    if name not in body:
        if required:
            raise BadRequest(f"{name}: missing")
        return default
    value = body[name]
    if not isinstance(value, kinds) or isinstance(value, bool) and bool not in _tuple(kinds):
        expected = " or ".join(k.__name__ for k in _tuple(kinds))
        raise BadRequest(f"{name}: expected {expected}, got {type(value).__name__}")
    return value


def _tuple(kinds):
    return kinds if isinstance(kinds, tuple) else (kinds,)


def view_of(body):
    view = field(body, "view", str, "image", required=False)
    if view not in engine.VIEWS:
        raise BadRequest(f"view: expected one of {', '.join(engine.VIEWS)}, got {view!r}")
    return view


def overwrite_of(body):
    return field(body, "overwrite", bool, False, required=False)


def refuse_replacing(real, shown, kept):
    """Refuses a write over a file the page works from, overwrite or not.

    kept holds (real path or None, what it is). Compared as files, so another name for the same
    file (a hard link) is refused too.
    """
    if not os.path.exists(real):
        return
    for source, what in kept:
        if source and os.path.exists(source) and os.path.samefile(real, source):
            raise BadRequest(f"{shown}: is {what}; choose another name")


def pictures_in_use(studio, client):
    return [(client.picture and client.picture.source, "the picture being graded"),
            (studio.picture and studio.picture.source, "the picture the studio started with")]


def scene_message(error, source):
    """A scene error's message naming the file it came from rather than "scene"."""
    text = str(error)
    return f"{source}: {text[len('scene: '):]}" if text.startswith("scene: ") else text


# --- handlers ----------------------------------------------------------------------------------

routes = web.RouteTableDef()


def studio_of(request):
    return request.app["studio"]


@routes.get("/")
async def index(request):
    return web.FileResponse(os.path.join(STATIC, "index.html"),
                            headers={"Cache-Control": "no-cache"})


@routes.get("/api/info")
async def info(request):
    studio = studio_of(request)
    return web.json_response({
        **studio.params,
        "views": list(engine.VIEWS),
        "limits": {"upload_bytes": studio.max_upload, "pixels": studio.max_pixels,
                   "side": pictures.MAX_SIDE, "scene_bytes": MAX_SCENE_BYTES},
        "exports": {"png": [8, 16], "tif": [8, 16, 32], "exr": [16, 32]},
    })


@routes.get("/api/state")
async def state(request):
    studio = studio_of(request)
    client = await studio.client(request)
    picture = client.picture
    return web.json_response({
        "image": picture.describe() if picture else None,
        "scene": client.scene,
        "scene_path": studio.scene_path,
        "session": client.token,
    })


@routes.get("/api/original")
async def original(request):
    studio = studio_of(request)
    client = await studio.client(request)
    picture = client.require_picture()
    if client.original_png is None or client.original_png[0] is not picture:
        png = await studio.in_thread(pngs.encode, pictures.for_display(picture.pixels), 1)
        client.original_png = (picture, png)
    return web.Response(body=client.original_png[1], content_type="image/png")


def _take_picture(client, picture):
    client.picture = picture
    client.original_png = None
    return web.json_response({"image": picture.describe()})


@routes.post("/api/open")
async def open_picture(request):
    studio = studio_of(request)
    client = await studio.client(request)
    body = await json_body(request)
    path = field(body, "path", str)
    real = studio.folder.for_reading(path)
    picture = await studio.in_thread(pictures.read_picture, real, path, studio.max_pixels)
    return _take_picture(client, picture)


@routes.post("/api/upload")
async def upload(request):
    studio = studio_of(request)
    client = await studio.client(request)
    if request.content_type != "application/octet-stream":
        raise BadRequest("expected the file's bytes (Content-Type: application/octet-stream)")
    name = os.path.basename(request.query.get("name", "upload"))[:255] or "upload"
    # The decoder picks its reader by the extension, so the temporary file keeps a plain one.
    ext = os.path.splitext(name)[1]
    suffix = ext if re.fullmatch(r"\.[A-Za-z0-9]{1,8}", ext) else ""
    with tempfile.TemporaryDirectory(prefix="zp-studio-") as scratch:
        path = os.path.join(scratch, "upload" + suffix)
        size = 0
        with open(path, "wb") as f:
            async for chunk in body_chunks(request, studio.max_upload):
                size += len(chunk)
                f.write(chunk)
        if size == 0:
            raise BadRequest(f"{name}: the upload is empty")
        picture = await studio.in_thread(pictures.read_picture, path, name, studio.max_pixels)
        picture.source = None  # the scratch copy goes; no file of the folder holds it
    return _take_picture(client, picture)


@routes.post("/api/render")
async def render(request):
    studio = studio_of(request)
    client = await studio.client(request)
    body = await json_body(request)
    scene = field(body, "scene", dict)
    view = view_of(body)
    seq = field(body, "seq", int, 0, required=False)
    proxy = field(body, "proxy", int, 1, required=False)
    if not 1 <= proxy <= proxies.MAX_FACTOR:
        raise BadRequest(f"proxy: expected 1 to {proxies.MAX_FACTOR}, got {proxy}")
    picture = client.require_picture()
    local = is_loopback(request.remote or "")

    def work():
        started = time.perf_counter()
        pixels = client.proxies.of(picture, proxy)
        done = client.engine.render(pixels, scene, view, proxy)
        rendered = time.perf_counter()
        shown = pictures.for_display(done.pixels)
        png = pngs.encode(shown, pngs.level_for(shown, local))
        return done, (rendered - started) * 1e3, (time.perf_counter() - rendered) * 1e3, png

    done, render_ms, encode_ms, png = await client.slot.run(
        lambda: asyncio.get_running_loop().run_in_executor(studio.executor, work))
    client.scene = scene
    return web.Response(body=png, content_type="image/png", headers={
        "X-Seq": str(seq),
        "X-View": view,
        "X-Proxy": str(proxy),
        "X-Render-Ms": f"{render_ms:.1f}",
        "X-Encode-Ms": f"{encode_ms:.1f}",
        "X-Label-Map": "reused" if done.reused else "made",
        "X-Stages": json.dumps({k: round(v, 3) for k, v in done.stages.items()}),
        "Cache-Control": "no-store",
    })


@routes.post("/api/scene/save")
async def save_scene(request):
    studio = studio_of(request)
    client = await studio.client(request)
    body = await json_body(request)
    path = field(body, "path", str)
    scene = field(body, "scene", dict)
    overwrite = overwrite_of(body)
    real = studio.folder.for_writing(path)
    # Only a .json name: a scene saved as "frame.png" would replace a picture with text.
    if os.path.splitext(real)[1].lower() != ".json":
        raise BadRequest(f"{path}: scenes are saved as .json files")
    refuse_replacing(real, path, pictures_in_use(studio, client))
    if not overwrite and os.path.lexists(real):
        raise FileExists(path)
    text = await studio.in_thread(client.engine.canonical, scene)

    def write(temporary):
        with open(temporary, "w", encoding="utf-8") as f:
            f.write(text)

    await studio.in_thread(write_atomically, real, write, overwrite, path)
    client.scene = scene
    client.scene_file = real
    return web.json_response({"path": studio.folder.relative(real), "bytes": len(text.encode())})


@routes.post("/api/scene/load")
async def load_scene(request):
    studio = studio_of(request)
    client = await studio.client(request)
    body = await json_body(request)
    path = field(body, "path", str)
    real = studio.folder.for_reading(path)
    text = await studio.in_thread(read_scene_text, real, path)
    try:
        canonical = await studio.in_thread(client.engine.canonical, text)
    except engine.SceneError as e:
        raise BadRequest(scene_message(e, path)) from None
    client.scene = json.loads(canonical)
    client.scene_file = real
    return web.json_response({"path": studio.folder.relative(real), "scene": client.scene})


def read_scene_text(real, shown):
    with open(real, "rb") as f:
        raw = f.read(MAX_SCENE_BYTES + 1)
    if len(raw) > MAX_SCENE_BYTES:
        raise BadRequest(f"{shown}: larger than {MAX_SCENE_BYTES} bytes")
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError as e:
        raise BadRequest(f"{shown}: not UTF-8 text ({e.reason} at byte {e.start})") from None


@routes.post("/api/export")
async def export(request):
    studio = studio_of(request)
    client = await studio.client(request)
    body = await json_body(request)
    path = field(body, "path", str)
    scene = field(body, "scene", dict)
    view = view_of(body)
    picture = client.require_picture()
    bits = field(body, "bits", int, picture.bits, required=False)
    if bits not in (8, 16, 32):
        raise BadRequest(f"bits: expected 8, 16 or 32, got {bits}")
    overwrite = overwrite_of(body)
    kind = pictures.export_format(path, bits)
    real = studio.folder.for_writing(path)
    # A link with a picture's name may lead to a file of another kind (a scene).
    if pictures.export_format(studio.folder.relative(real), bits) != kind:
        raise BadRequest(f"{path}: leads to {studio.folder.relative(real)}, another format")
    refuse_replacing(real, path, pictures_in_use(studio, client) + [
        (client.scene_file, "the scene file"), (studio.scene_file, "the studio's scene file")])
    # Checked before the render too, so the page's question comes before a long render.
    if not overwrite and os.path.lexists(real):
        raise FileExists(path)

    def work():
        pixels = pictures.at_depth(picture.pixels, pictures.sample_bits(kind, bits))
        done = client.engine.render(pixels, scene, view)
        write_atomically(real, lambda temporary: pictures.write_picture(
            temporary, done.pixels, kind, bits), overwrite, path)

    await studio.in_thread(work)
    return web.json_response({"path": studio.folder.relative(real), "bits": bits,
                              "width": picture.width, "height": picture.height})


# --- errors and checks -------------------------------------------------------------------------


def _error(status, message, **extra):
    return web.json_response({"error": message, **extra}, status=status)


@web.middleware
async def errors(request, handler):
    try:
        return await handler(request)
    except web.HTTPRequestEntityTooLarge as e:
        response = _error(413, f"request body too large ({e.text.strip()})")
        # The rest of the body is no request: the server drops it (for a few seconds, so the
        # client still gets this answer) and then the connection.
        response.force_close()
        return response
    except web.HTTPException as e:
        if e.status < 400:
            raise
        return _error(e.status, e.reason)
    except Superseded:
        return _error(409, "superseded by a newer render", superseded=True)
    except SessionGone:
        return _error(410, "this page's session was closed to make room for other pages; "
                      "its picture and scene are sent again", gone=True)
    except FileExists as e:
        return _error(409, f"{e}: exists; replacing it needs \"overwrite\": true", exists=True)
    except (BadRequest, pictures.PictureError, engine.SceneError) as e:
        return _error(400, str(e))
    except PathRefused as e:
        return _error(403, str(e))
    except FileNotFoundError as e:
        return _error(404, str(e))
    except engine.PluginError as e:
        return _error(500, str(e))
    except ValueError as e:
        return _error(400, str(e))
    except OSError as e:
        return _error(500, f"{e.strerror or e}")
    except Exception as e:  # a fault of the studio itself: reported, the server goes on
        log.exception("request %s %s failed", request.method, request.path)
        return _error(500, f"internal error: {type(e).__name__}: {e}")


@web.middleware
async def local_only(request, handler):
    """Refuses requests whose Host is not this machine's loopback name.

    A web page elsewhere could otherwise point a host name of its own at 127.0.0.1 and talk to
    the studio as if from the same origin.
    """
    studio = studio_of(request)
    if not studio.exposed:
        try:
            host = request.url.host or ""
        except ValueError:
            host = ""
        if not is_loopback(host):
            return _error(403, f"Host {request.host!r} is not this machine's loopback address")
    return await handler(request)


def make_app(studio):
    # The upload handler streams and counts the body itself; the JSON reader has its own cap.
    app = web.Application(middlewares=[errors, local_only], client_max_size=studio.max_upload)
    app["studio"] = studio
    app.add_routes(routes)
    app.router.add_static("/static/", STATIC, follow_symlinks=False)

    async def closing(_app):
        await studio.close()

    app.on_cleanup.append(closing)
    return app
