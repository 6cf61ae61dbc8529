#!/usr/bin/python3
"""The studio's round trip at 1080p: a render request to the last byte of its PNG.

Starts `python3 -m zonepainter.studio` on a 1920 x 1080 picture (the bundled example scaled up)
with the demo's strokes scaled along, and times, from this client, as the page asks for them:
  stroke - a stroke moved to a place not seen before, so the labels spread again (what
           dragging a stroke costs)
  slider - a hue change, the label map reused (what a slider step costs), with the demo's
           global effects and with them off
each at the proxy size the page uses while the user drags (the picture reduced --proxy times,
rendered with the effect's downsampling) and at full resolution (the frame sent on release),
with the server's own render and encode times from the response headers beside the total.

    PYTHONPATH=build/python /usr/bin/python3 bench/studio_roundtrip.py [--runs 15] [--proxy 4]
"""

import argparse
import copy
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

import OpenImageIO as oiio

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "examples")
WIDTH, HEIGHT = 1920, 1080


def make_picture(folder):
    source = oiio.ImageBuf(os.path.join(EXAMPLES, "astronaut.png"))
    spec = oiio.ImageSpec(WIDTH, HEIGHT, source.spec().nchannels, "uint8")
    scaled = oiio.ImageBuf(spec)
    oiio.ImageBufAlgo.resize(scaled, source)
    path = os.path.join(folder, "frame.png")
    assert scaled.write(path), scaled.geterror()
    sx, sy = WIDTH / source.spec().width, HEIGHT / source.spec().height
    with open(os.path.join(EXAMPLES, "demo-scene.json")) as f:
        scene = json.load(f)
    for mask in scene["masks"]:
        for v in mask["vertices"]:
            v["x"], v["y"] = round(v["x"] * sx, 1), round(v["y"] * sy, 1)
    return path, scene


def request(url, scene, client, proxy=1):
    body = json.dumps({"scene": scene, "view": "image", "proxy": proxy}).encode()
    req = urllib.request.Request(url + "/api/render", data=body, headers={
        "Content-Type": "application/json", "X-Studio-Client": client})
    started = time.perf_counter()
    with urllib.request.urlopen(req, timeout=600) as r:
        png = r.read()
        total = (time.perf_counter() - started) * 1e3
        return {"total": total, "render": float(r.headers["X-Render-Ms"]),
                "encode": float(r.headers["X-Encode-Ms"]), "bytes": len(png),
                "reused": r.headers["X-Label-Map"] == "reused",
                "stages": json.loads(r.headers["X-Stages"])}


def summary(name, rows):
    def cell(key):
        values = [r[key] for r in rows]
        return (f"{statistics.median(values):7.1f} ({min(values):.1f}-{max(values):.1f})")
    print(f"{name:27} {cell('total')}  {cell('render')}  {cell('encode')}  "
          f"{rows[0]['bytes'] / 1e6:.2f} MB  n={len(rows)}")


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--runs", type=int, default=15)
    p.add_argument("--proxy", type=int, default=4, help="the page's proxy factor at 1080p")
    args = p.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        picture, scene = make_picture(folder)
        # The server runs in the scratch folder: the module's path must not be relative.
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(
            os.path.abspath(p) for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p))
        server = subprocess.Popen([sys.executable, "-m", "zonepainter.studio", picture,
                                   "--port", "0"], cwd=folder, env=env, stdout=subprocess.PIPE,
                                  text=True)
        try:
            url = server.stdout.readline().split()[-1].rstrip("/")
            table = []
            for proxy in (args.proxy, 1):
                table += measure(url, scene, proxy, args.runs)
        finally:
            server.terminate()
            server.wait()
    print(f"studio round trip, {WIDTH} x {HEIGHT} 8-bit, {len(scene['masks'])} strokes, "
          f"OMP_NUM_THREADS={os.environ.get('OMP_NUM_THREADS', '(all)')}")
    print(f"{'':27} {'total ms, median (range)':26} {'render ms':24} {'PNG encode ms':24}")
    for name, rows in table:
        summary(name, rows)


def measure(url, scene, proxy, runs):
    size = "full size" if proxy == 1 else f"proxy 1/{proxy}"
    client = f"bench-{proxy}"
    request(url, scene, client, proxy)  # the session's first frame
    stroke, slider, plain = [], [], []
    for i in range(runs):
        # A position not seen before: the effect keeps label maps by what they were made
        # from, so a stroke moved back to an earlier place would find its map.
        moved = copy.deepcopy(scene)
        for v in moved["masks"][0]["vertices"]:
            v["x"] += 8 * (1 + i)
        row = request(url, moved, client, proxy)
        assert not row["reused"]
        stroke.append(row)
    for i in range(runs):
        graded = copy.deepcopy(moved)
        graded["params"]["Adjust 1"]["Hue"] = 5 + i
        row = request(url, graded, client, proxy)
        assert row["reused"]
        slider.append(row)
    # The demo asks for the global effects (its groups' "Effects" amounts); without them a
    # warm frame is the zone blend alone.
    for i in range(runs):
        graded = copy.deepcopy(moved)
        for group in graded["params"].values():
            if isinstance(group, dict) and "Effects" in group:
                group["Effects"] = 0
        graded["params"]["Adjust 1"]["Hue"] = 5 + i
        row = request(url, graded, client, proxy)
        assert row["reused"]
        plain.append(row)
    return [(f"stroke, {size}", stroke), (f"slider, {size}", slider),
            (f"slider, {size}, no fx", plain)]

if __name__ == "__main__":
    main()
