"""Helpers for the studio's tests: the studio started as a user starts it (a process on a free
port, in a folder of its own), requests to it, and pictures decoded with OpenImageIO."""

import json
import os
import shutil
import subprocess
import sys
import urllib.error
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
