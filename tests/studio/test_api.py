"""The studio's JSON API, against a running studio and the command-line tool.

What the page shows must be what `zonepainter render` makes of the scene the page saves, pixel
for pixel; exports must equal the tool's files; every refused request gets its status and a
message, and the studio keeps serving.
"""

import asyncio
import copy
import json
import os
import subprocess
import sys

import numpy as np
import OpenImageIO as oiio
import pytest

from conftest import (ASTRONAUT, EXAMPLES, Studio, folder_with_example, many_vertices,
                      png_pixels, read_pixels, render_cli)

with open(os.path.join(EXAMPLES, "demo-scene.json")) as f:
    DEMO = json.load(f)


def graded(**adjust1):
    scene = copy.deepcopy(DEMO)
    scene["params"]["Adjust 1"].update(adjust1)
    return scene


@pytest.fixture(scope="module")
def studio(tmp_path_factory):
    folder = folder_with_example(tmp_path_factory.mktemp("studio"))
    os.makedirs(os.path.join(folder, "sub"))
    os.symlink(os.path.dirname(folder), os.path.join(folder, "way-out"))
    # Text that names a scene elsewhere: read as a scene it is refused, never followed.
    with open(os.path.join(folder, "notes.txt"), "w") as f:
        f.write(os.path.abspath(os.path.join(EXAMPLES, "demo-scene.json")))
    s = Studio(folder, "astronaut.png")
    yield s
    s.stop()


@pytest.mark.parametrize("view", ["image", "strokes", "labels", "weights"])
def test_frames_are_what_the_tool_renders_from_the_saved_scene(studio, cli, view, tmp_path):
    scene = graded(Hue=30, Saturation=-20)
    _, png = studio.ok("/api/render", {"scene": scene, "view": view})
    path = f"sub/{view}.json"
    studio.ok("/api/scene/save", {"path": path, "scene": scene, "overwrite": True})
    saved = os.path.join(studio.folder, path)
    out = render_cli(cli, saved, ASTRONAUT, tmp_path / "cli.png", "--view", view)
    assert np.array_equal(png_pixels(png, tmp_path), read_pixels(out))

    # A proxy is the picture reduced as a host reduces a layer (2 x 2 means), rendered with the
    # effect's own downsampling: what the tool makes of that picture at --downsample 1/2.
    headers, png = studio.ok("/api/render", {"scene": scene, "view": view, "proxy": 2})
    assert headers["X-Proxy"] == "2"
    full = read_pixels(ASTRONAUT)
    half = full.reshape(256, 2, 256, 2, -1).astype(np.uint32).sum(axis=(1, 3))
    reduced = tmp_path / "half.png"
    write_picture(reduced, ((half + 2) // 4).astype(np.uint8), "uint8")
    out = render_cli(cli, saved, reduced, tmp_path / "cli-half.png", "--view", view,
                     "--downsample", "1/2")
    assert np.array_equal(png_pixels(png, tmp_path), read_pixels(out))

    # Loading the file gives a scene that saves to the same bytes.
    _, body = studio.ok("/api/scene/load", {"path": path})
    studio.ok("/api/scene/save", {"path": "sub/again.json", "scene": json.loads(body)["scene"],
                                  "overwrite": True})
    with open(saved, "rb") as a, open(os.path.join(studio.folder, "sub/again.json"), "rb") as b:
        assert a.read() == b.read()


def test_colour_changes_reuse_the_label_map_and_stroke_changes_do_not(studio):
    page = {"X-Studio-Client": "reuse-check"}
    seen = []
    for scene in (graded(Hue=0), graded(Hue=45), graded(Hue=45, Effects=0),
                  {**graded(Hue=45), "masks": DEMO["masks"] + [
                      {"name": "New", "closed": False,
                       "vertices": [{"x": 300, "y": 400}, {"x": 330, "y": 420}]}]}):
        headers, _ = studio.ok("/api/render", {"scene": scene}, headers=page)
        seen.append(headers["X-Label-Map"])
    assert seen == ["made", "reused", "reused", "made"]


@pytest.mark.parametrize("name,bits,depth", [
    ("result.png", 8, 8), ("result16.png", 16, 16), ("result.tif", 32, 32),
    ("result.exr", 32, 32), ("result-half.exr", 16, 32)])
def test_exports_equal_the_tools_files(studio, cli, tmp_path, name, bits, depth):
    scene = graded(Hue=-60, Contrast=25)
    studio.ok("/api/scene/save", {"path": "sub/export.json", "scene": scene, "overwrite": True})
    _, body = studio.ok("/api/export", {"path": f"sub/{name}", "bits": bits, "scene": scene})
    assert json.loads(body)["path"] == f"sub/{name}"
    ext = os.path.splitext(name)[1]
    out = render_cli(cli, os.path.join(studio.folder, "sub/export.json"), ASTRONAUT,
                     tmp_path / f"cli{ext}", "--depth", depth)
    exported = read_pixels(os.path.join(studio.folder, "sub", name))
    expected = read_pixels(out)
    if name == "result-half.exr":  # the tool writes float worlds as float, the export as half
        expected = expected.astype(np.float16)
    assert exported.dtype == expected.dtype
    assert np.array_equal(exported, expected)


def write_picture(path, pixels, kind):
    spec = oiio.ImageSpec(pixels.shape[1], pixels.shape[0], pixels.shape[2], kind)
    if pixels.shape[2] == 4:
        spec.alpha_channel = 3
        spec.attribute("oiio:UnassociatedAlpha", 1)
    out = oiio.ImageOutput.create(str(path))
    assert out.open(str(path), spec) and out.write_image(pixels), out.geterror()
    out.close()


def test_an_uploaded_16_bit_picture_with_alpha_exports_as_the_tool_renders_it(studio, cli,
                                                                               tmp_path):
    rgb = read_pixels(ASTRONAUT)[:300, :400].astype(np.uint16) * 257 + 91
    alpha = np.linspace(2000, 65535, rgb.shape[1], dtype=np.uint16)[None, :, None]
    tiff = tmp_path / "frame.tif"
    write_picture(tiff, np.ascontiguousarray(np.concatenate(
        [rgb, np.broadcast_to(alpha, rgb.shape[:2] + (1,))], axis=2)), "uint16")
    page = {"X-Studio-Client": "uploader"}
    _, body = studio.ok("/api/upload?name=frame.tif", data=tiff.read_bytes(),
                        headers={**page, "Content-Type": "application/octet-stream"})
    assert json.loads(body)["image"] == {"name": "frame.tif", "width": 400, "height": 300,
                                         "bits": 16, "alpha": True}
    scene = graded(Hue=90)
    studio.ok("/api/scene/save", {"path": "sub/upload.json", "scene": scene}, headers=page)
    studio.ok("/api/export", {"path": "sub/upload.png", "bits": 16, "scene": scene},
              headers=page)
    out = render_cli(cli, os.path.join(studio.folder, "sub/upload.json"), tiff,
                     tmp_path / "cli.png")
    assert np.array_equal(read_pixels(os.path.join(studio.folder, "sub/upload.png")),
                          read_pixels(out))
    # Other pages keep the picture the studio started with.
    _, body = studio.ok("/api/state")
    assert json.loads(body)["image"]["name"] == "astronaut.png"


def nested(depth):
    value = []
    for _ in range(depth - 1):
        value = [value]
    return value


JSON = {"Content-Type": "application/json"}
BYTES = {"Content-Type": "application/octet-stream"}

# (request path, JSON body or raw bytes, extra headers, status, part of the message)
REFUSED = [
    ("/api/render", b"{bad", JSON, 400, "malformed JSON"),
    ("/api/render", b"[1, 2]", JSON, 400, "expected a JSON object"),
    ("/api/render", b"\xff\xfe", JSON, 400, "malformed JSON"),
    ("/api/render", b"[" * 100000, JSON, 400, "nested too deeply"),
    ("/api/render", {"scene": graded(Hue=nested(70))}, {}, 400, "deep"),
    ("/api/render", {"scene": {}}, {"Content-Type": "text/plain"}, 400, "Content-Type"),
    ("/api/render", {"view": "image"}, {}, 400, "scene: missing"),
    ("/api/render", {"scene": "{}"}, {}, 400, "scene: expected dict"),
    ("/api/render", {"scene": {}, "view": "depth"}, {}, 400, "view: expected one of"),
    ("/api/render", {"scene": {}, "seq": True}, {}, 400, "seq: expected int"),
    ("/api/render", {"scene": graded(Hue=400)}, {}, 400, "400 is outside -360..360"),
    ("/api/render", {"scene": {"params": {"Adjust 11": {}}}}, {}, 400, "Adjust 11"),
    ("/api/render", {"scene": {"masks": [{"name": "x" * 40, "vertices": [{"x": 1, "y": 1}]}]}},
     {}, 400, "at most 31"),
    ("/api/render", {"scene": {"params": {"Adjust 1": {"Mask": "Nowhere"}}}}, {}, 400,
     "no mask named"),
    ("/api/render", {"scene": {}}, {"X-Studio-Client": "../../x"}, 400, "X-Studio-Client"),
    ("/api/render", {"scene": {}}, {"Host": "studio.example.com"}, 403, "loopback"),
    ("/api/render", b" " * (17 * 1024 * 1024), JSON, 413, "too large"),
    ("/api/scene/save", {"path": "../escaped.json", "scene": {}}, {}, 403, "outside"),
    ("/api/scene/save", {"path": "sub/../../escaped.json", "scene": {}}, {}, 403, "outside"),
    ("/api/scene/save", {"path": "/tmp/escaped.json", "scene": {}}, {}, 403, "outside"),
    ("/api/scene/save", {"path": "way-out/escaped.json", "scene": {}}, {}, 403, "outside"),
    ("/api/scene/save", {"path": "a\u0000b.json", "scene": {}}, {}, 403, "NUL"),
    ("/api/scene/save", {"path": "sub", "scene": {}}, {}, 403, "is a folder"),
    ("/api/scene/save", {"path": "nowhere/x.json", "scene": {}}, {}, 404, "does not exist"),
    ("/api/scene/save", {"path": 7, "scene": {}}, {}, 400, "path: expected str"),
    ("/api/scene/save", {"path": "bad.json", "scene": graded(Gamma=-101)}, {}, 400, "Gamma"),
    ("/api/scene/save", {"path": "sub/scene", "scene": {}}, {}, 400, "saved as .json files"),
    ("/api/scene/save", {"path": "sub/x.json", "scene": {}, "overwrite": 1}, {}, 400,
     "overwrite: expected bool"),
    ("/api/scene/load", {"path": "../../../../etc/passwd"}, {}, 403, "outside"),
    ("/api/scene/load", {"path": "way-out/anything.json"}, {}, 403, "outside"),
    ("/api/scene/load", {"path": "missing.json"}, {}, 404, "no such file"),
    ("/api/scene/load", {"path": "astronaut.png"}, {}, 400, "not UTF-8"),
    ("/api/scene/load", {"path": "notes.txt"}, {}, 400, "notes.txt: malformed JSON"),
    ("/api/open", {"path": "../astronaut.png"}, {}, 403, "outside"),
    ("/api/open", {"path": "notes.txt"}, {}, 400, "cannot read notes.txt"),
    ("/api/open", {"path": "missing.png"}, {}, 404, "no such file"),
    ("/api/export", {"path": "out.jpg", "bits": 8, "scene": {}}, {}, 400, ".png, .tif"),
    ("/api/export", {"path": "out.exr", "bits": 8, "scene": {}}, {}, 400, "EXR holds 16 or 32"),
    ("/api/export", {"path": "out.png", "bits": 12, "scene": {}}, {}, 400, "bits: expected 8"),
    ("/api/export", {"path": "../out.png", "bits": 8, "scene": {}}, {}, 403, "outside"),
    ("/api/upload?name=x.png", b"\x89PNG not really", BYTES, 400, "cannot read x.png"),
    ("/api/upload?name=x.png", b"", BYTES, 400, "empty"),
    ("/api/upload", {"not": "bytes"}, {}, 400, "octet-stream"),
    ("/api/nothing", None, {}, 404, "Not Found"),
]


@pytest.mark.parametrize("path,body,headers,status,message", REFUSED,
                         ids=[f"{r[0]}-{r[3]}-{i}" for i, r in enumerate(REFUSED)])
def test_refused_requests_get_a_status_and_a_message(studio, path, body, headers, status,
                                                     message):
    raw = body if isinstance(body, bytes) else None
    sent = None if raw is not None else body
    got, _, answer = studio.call(path, sent, data=raw, headers=headers,
                                 method="POST" if body is not None else "GET")
    assert got == status, answer
    assert message in json.loads(answer)["error"]
    assert studio.alive()
    assert not os.path.exists(os.path.join(os.path.dirname(studio.folder), "escaped.json"))


def test_writes_replace_a_file_only_when_told_and_never_the_picture(studio):
    picture = os.path.join(studio.folder, "astronaut.png")
    os.link(picture, os.path.join(studio.folder, "sub", "alias.png"))
    with open(picture, "rb") as f:
        original = f.read()
    page = {"X-Studio-Client": "writer"}

    def write(path, body, **extra):
        got, _, answer = studio.call(path, {**body, **extra}, headers=page)
        return got, json.loads(answer)

    def saved(name):
        with open(os.path.join(studio.folder, name), "rb") as f:
            return f.read()

    # A scene saved under a picture's name would replace the picture with text.
    for name in ("astronaut.png", "victim.png"):
        got, answer = write("/api/scene/save", {"path": name, "scene": DEMO}, overwrite=True)
        assert (got, ".json files" in answer["error"]) == (400, True)
    assert not os.path.exists(os.path.join(studio.folder, "victim.png"))

    scene = {"path": "sub/kept.json", "scene": graded(Hue=10)}
    assert write("/api/scene/save", scene)[0] == 200
    first = saved("sub/kept.json")
    scene["scene"] = graded(Hue=20)
    got, answer = write("/api/scene/save", scene)
    assert (got, answer.get("exists")) == (409, True), answer
    assert saved("sub/kept.json") == first
    assert write("/api/scene/save", scene, overwrite=True)[0] == 200
    assert saved("sub/kept.json") != first

    result = {"path": "sub/kept.png", "bits": 8, "scene": graded(Hue=10)}
    assert write("/api/export", result)[0] == 200
    first = saved("sub/kept.png")
    result["scene"] = graded(Hue=20)
    got, answer = write("/api/export", result)
    assert (got, answer.get("exists")) == (409, True), answer
    assert saved("sub/kept.png") == first
    assert write("/api/export", result, overwrite=True)[0] == 200
    assert saved("sub/kept.png") != first

    # The picture being graded stays, under its own name or another (a hard link), and a link
    # named like a picture does not lead an export onto a scene.
    os.symlink("kept.json", os.path.join(studio.folder, "sub", "scene-link.png"))
    for name, refusal in (("astronaut.png", "the picture being graded"),
                          ("sub/alias.png", "the picture being graded"),
                          ("sub/scene-link.png", "sub/kept.json: exports are")):
        got, answer = write("/api/export", {**result, "path": name}, overwrite=True)
        assert (got, refusal in answer["error"]) == (400, True), answer
    assert saved("astronaut.png") == original
    assert json.loads(saved("sub/kept.json"))["params"]["Adjust 1"]["Hue"] == 20
    assert studio.alive()


@pytest.mark.parametrize("path,kind,chunked", [
    ("/api/render", "json", False), ("/api/render", "json", True),
    ("/api/upload?name=slow.png", "octet-stream", True)])
def test_bodies_arriving_in_pieces_are_read_to_their_end(studio, path, kind, chunked):
    # About the 219 KB scene that came through cut off at 128 KB.
    if kind == "json":
        body = json.dumps({"scene": many_vertices(10, 800), "view": "labels"}).encode()
    else:
        body = open(ASTRONAUT, "rb").read()
    got, _, answer = studio.send_in_pieces(path, body, f"application/{kind}", chunked=chunked,
                                           headers={"X-Studio-Client": "slow-network"})
    assert got == 200, answer


def test_a_body_over_the_limit_without_a_length_is_refused_unread(studio):
    got, headers, answer = studio.send_in_pieces("/api/render", b" " * (17 << 20),
                                                 "application/json", chunked=True)
    assert (got, "too large" in json.loads(answer)["error"]) == (413, True)
    assert headers["Connection"] == "close"
    assert studio.alive()


@pytest.mark.parametrize("args,message", [
    (["missing.png"], "cannot read missing.png"),
    (["astronaut.png", "--scene", "bad.json"], "bad.json: /params/Adjust 1/Hue: 400 is outside"),
    (["--scene", "missing.json"], "cannot read missing.json"),
    (["--folder", "nowhere"], "nowhere is not a folder"),
])
def test_a_bad_start_exits_with_2_and_says_why(tmp_path, args, message):
    folder = folder_with_example(tmp_path)
    with open(os.path.join(folder, "bad.json"), "w") as f:
        json.dump(graded(Hue=400), f)
    done = subprocess.run([sys.executable, "-m", "zonepainter.studio", *args, "--port", "0"],
                          cwd=folder, capture_output=True, text=True, timeout=60)
    assert done.returncode == 2
    assert message in done.stderr


def test_limits_refuse_large_uploads_and_pictures(tmp_path, cli):
    folder = folder_with_example(tmp_path / "limited")
    s = Studio(folder, "--max-upload-mb", "0.5", "--max-pixels", "100000")
    try:
        big = open(ASTRONAUT, "rb").read()  # 773 KiB, 512 x 512
        got, _, answer = s.call("/api/upload?name=a.png", data=big, headers=BYTES)
        assert (got, "too large" in json.loads(answer)["error"]) == (413, True)
        got, _, answer = s.send_in_pieces("/api/upload?name=a.png", big,
                                          "application/octet-stream", chunked=True)
        assert (got, "too large" in json.loads(answer)["error"]) == (413, True)
        got, _, answer = s.call("/api/open", {"path": "astronaut.png"})
        assert got == 400 and "at most 100000" in json.loads(answer)["error"]
        got, _, answer = s.call("/api/render", {"scene": {}})
        assert got == 400 and "no picture loaded" in json.loads(answer)["error"]
        assert s.alive()
    finally:
        s.stop()


def test_a_newer_request_replaces_the_waiting_one():
    from zonepainter.studio.latest import LatestWins, Superseded

    async def scenario():
        slot = LatestWins()
        gates = {name: asyncio.Event() for name in "abcd"}
        started = []  # the requests that took the slot, in order

        def job(name):
            async def work():
                await gates[name].wait()
                return name

            def start():
                started.append(name)
                return asyncio.ensure_future(work())
            return start

        async def settle():
            for _ in range(10):
                await asyncio.sleep(0)

        a = asyncio.ensure_future(slot.run(job("a")))
        await settle()
        b = asyncio.ensure_future(slot.run(job("b")))
        await settle()
        c = asyncio.ensure_future(slot.run(job("c")))
        await settle()
        with pytest.raises(Superseded):
            await b  # replaced while a ran: answered at once, never started
        assert started == ["a"]
        gates["a"].set()
        assert await a == "a"
        await settle()
        assert started == ["a", "c"]  # c took the slot as a left it
        d = asyncio.ensure_future(slot.run(job("d")))
        await settle()
        assert started == ["a", "c"]  # d waits: one render at a time
        gates["c"].set()
        gates["d"].set()
        assert (await c, await d) == ("c", "d")
        assert started == ["a", "c", "d"]

    asyncio.run(scenario())


def test_a_page_whose_session_was_closed_is_told_so(studio):
    """A page that names its session gets 410 once the studio closed it for other pages, never a
    frame of a fresh session (which holds the studio's picture, not the page's)."""
    page = {"X-Studio-Client": "evicted"}
    _, body = studio.ok("/api/state", headers=page)
    page["X-Studio-Session"] = json.loads(body)["session"]
    studio.ok("/api/render", {"scene": DEMO, "proxy": 4}, headers=page)
    for k in range(8):  # as many other pages as the studio keeps
        studio.ok("/api/state", headers={"X-Studio-Client": f"other-{k}"})
    for path, body in (("/api/render", {"scene": DEMO}), ("/api/open", {"path": "astronaut.png"})):
        got, _, answer = studio.call(path, body, headers=page)
        assert (got, json.loads(answer).get("gone")) == (410, True), answer
    # Taking up a new session: another token, which the old one does not stand for.
    _, body = studio.ok("/api/state", headers={"X-Studio-Client": "evicted"})
    assert json.loads(body)["session"] != page["X-Studio-Session"]
    assert studio.call("/api/render", {"scene": DEMO}, headers=page)[0] == 410


@pytest.mark.parametrize("shape", [(5, 7, 4), (512, 512, 3), (700, 900, 3)])
def test_frames_decode_to_their_samples(shape, tmp_path):
    from zonepainter.studio import pngs

    rng = np.random.default_rng(7)
    # Smooth ramps with noise: runs for the deflate to find, and bytes that wrap in the filter.
    ramp = np.add.outer(np.arange(shape[0]), np.arange(shape[1]))[:, :, None] * [1, 3, 7, 11][
        :shape[2]]
    pixels = ((ramp + rng.integers(0, 4, shape)) % 256).astype(np.uint8)
    for local in (True, False):  # stored when small and local, else filtered and deflated
        data = pngs.encode(pixels, pngs.level_for(pixels, local))
        assert np.array_equal(png_pixels(data, tmp_path), pixels), local
    assert len(pngs.encode(pixels, 1)) < pixels.size or shape[0] < 10
