#!/usr/bin/python3
"""The studio's slider round trip at 1080p: a render request to the last byte of its PNG.

Starts `python3 -m zonepainter.studio` on a 1920 x 1080 picture (the bundled example scaled up)
with the demo's strokes scaled along, and times, from this client:
  cold  - a stroke moved by a pixel, so the labels spread again (what drawing a stroke costs)
  warm  - a hue change, the label map reused (what a slider move costs), with the demo's
          global effects and with them off
with the server's own render and encode times from the response headers beside the total.

    PYTHONPATH=build/python /usr/bin/python3 bench/studio_roundtrip.py [--runs 15]
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


def request(url, scene, client):
    body = json.dumps({"scene": scene, "view": "image"}).encode()
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
    print(f"{name:17} {cell('total')}  {cell('render')}  {cell('encode')}  "
          f"{rows[0]['bytes'] / 1e6:.1f} MB  n={len(rows)}")


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--runs", type=int, default=15)
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
            request(url, scene, "bench")  # the session's first frame
            cold, warm = [], []
            for i in range(args.runs):
                moved = copy.deepcopy(scene)
                moved["masks"][0]["vertices"][0]["x"] += 1 + i % 2
                row = request(url, moved, "bench")
                assert not row["reused"]
                cold.append(row)
            for i in range(args.runs):
                graded = copy.deepcopy(moved)
                graded["params"]["Adjust 1"]["Hue"] = 5 + i
                row = request(url, graded, "bench")
                assert row["reused"]
                warm.append(row)
            # The demo asks for the global effects (its groups' "Effects" amounts); without
            # them a warm frame is the zone blend alone.
            plain = []
            for i in range(args.runs):
                graded = copy.deepcopy(moved)
                for group in graded["params"].values():
                    if isinstance(group, dict) and "Effects" in group:
                        group["Effects"] = 0
                graded["params"]["Adjust 1"]["Hue"] = 5 + i
                row = request(url, graded, "bench")
                assert row["reused"]
                plain.append(row)
        finally:
            server.terminate()
            server.wait()
    print(f"studio round trip, {WIDTH} x {HEIGHT} 8-bit, {len(scene['masks'])} strokes, "
          f"OMP_NUM_THREADS={os.environ.get('OMP_NUM_THREADS', '(all)')}")
    print(f"{'':17} {'total ms, median (range)':26} {'render ms':24} {'PNG encode ms':24}")
    summary("cold", cold)
    summary("warm", warm)
    summary("warm, effects off", plain)


if __name__ == "__main__":
    main()
