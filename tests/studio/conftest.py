"""Helpers for the studio's tests: the studio started as a user starts it (a process on a free
port, in a folder of its own), requests to it, and pictures decoded with OpenImageIO."""

import http.client
import json
import math
import os
import shutil
import subprocess
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

import OpenImageIO as oiio
import pytest

EXAMPLES = os.environ.get("ZP_EXAMPLES") or os.path.join(os.path.dirname(__file__), "..", "..",
                                                         "examples")
ASTRONAUT = os.path.join(EXAMPLES, "astronaut.png")


class Studio:
    """`python3 -m zonepainter.studio ARGS --port 0` running in `folder`."""

    def __init__(self, folder, *args):
        self.folder = folder
        self.log = open(os.path.join(folder, ".studio-stderr.log"), "w+")
        self.proc = subprocess.Popen(
            [sys.executable, "-m", "zonepainter.studio", *map(str, args), "--port", "0"],
            cwd=folder, stdout=subprocess.PIPE, stderr=self.log, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("Zonepainter Studio: http://"):
            self.stop()
            self.log.seek(0)
            pytest.fail(f"the studio did not start: {line!r} {self.log.read()}")
        self.url = line.split()[-1].rstrip("/")

    def call(self, path, json_body=None, data=None, headers=None, method=None):
        """(status, headers, body bytes) of one request; a JSON body is sent as JSON."""
        headers = dict(headers or {})
        if json_body is not None:
            data = json.dumps(json_body).encode()
            headers.setdefault("Content-Type", "application/json")
        request = urllib.request.Request(self.url + path, data=data, headers=headers,
                                         method=method)
        try:
            with urllib.request.urlopen(request, timeout=120) as r:
                return r.status, r.headers, r.read()
        except urllib.error.HTTPError as e:
            return e.code, e.headers, e.read()

    def ok(self, path, json_body=None, **kw):
        status, headers, body = self.call(path, json_body, **kw)
        assert status == 200, body
        return headers, body

    def send_in_pieces(self, path, body, content_type, pieces=4, chunked=False, pause=0.3,
                       headers=None):
        """(status, headers, body bytes) of a POST whose body leaves in `pieces` parts with a
        pause before each after the first, as a slow network delivers it. chunked sends no
        length (Transfer-Encoding: chunked)."""
        url = urllib.parse.urlsplit(self.url)
        step = -(-len(body) // pieces)

        def parts():
            for start in range(0, len(body), step):
                if start:
                    time.sleep(pause)
                yield body[start:start + step]

        headers = {**(headers or {}), "Content-Type": content_type}
        if not chunked:
            headers["Content-Length"] = str(len(body))
        connection = http.client.HTTPConnection(url.hostname, url.port, timeout=120)
        try:
            connection.request("POST", path, body=parts(), headers=headers,
                               encode_chunked=chunked)
            r = connection.getresponse()
            return r.status, r.headers, r.read()
        finally:
            connection.close()

    def alive(self):
        return self.proc.poll() is None and self.call("/api/info")[0] == 200

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        self.log.close()


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("ZP_CLI")
    if not path:
        pytest.fail("ZP_CLI must name the built zonepainter tool (ctest sets it)")
    return path


def render_cli(cli, scene, image, output, *options):
    done = subprocess.run([cli, "render", "--scene", str(scene), "--input", str(image),
                           "--output", str(output), *map(str, options)],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return output


def many_vertices(shapes, vertices):
    """A scene of `shapes` closed outlines of `vertices` each (about 29 bytes a vertex), the
    first given to Adjust 1: wobbly rings over the example picture."""
    masks = []
    for k in range(shapes):
        cx, cy, r = 100 + 35 * k, 120 + 28 * k, 40 + 3 * k
        masks.append({"name": f"Ring {k + 1}", "closed": True, "vertices": [
            {"x": round(cx + (r + 4 * math.sin(7 * t)) * math.cos(t), 3),
             "y": round(cy + (r + 4 * math.sin(7 * t)) * math.sin(t), 3)}
            for t in (2 * math.pi * i / vertices for i in range(vertices))]})
    return {"masks": masks, "params": {"Adjust 1": {"Mask": "Ring 1", "Hue": 40}}}


def folder_with_example(path):
    os.makedirs(path, exist_ok=True)
    shutil.copy(ASTRONAUT, os.path.join(path, "astronaut.png"))
    return str(path)


def read_pixels(path):
    """The samples of a file, in their stored type, with alpha as stored."""
    config = oiio.ImageSpec()
    config.attribute("oiio:UnassociatedAlpha", 1)
    inp = oiio.ImageInput.open(str(path), config)
    assert inp, oiio.geterror()
    spec = inp.spec()
    kind = {"uint8": "uint8", "uint16": "uint16", "half": "half"}.get(str(spec.format), "float")
    pixels = inp.read_image(0, 0, 0, spec.nchannels, kind)
    inp.close()
    return pixels


def png_pixels(data, scratch):
    path = os.path.join(scratch, "frame.png")
    with open(path, "wb") as f:
        f.write(data)
    return read_pixels(path)
