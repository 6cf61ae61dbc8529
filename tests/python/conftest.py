"""Helpers for the Python module's tests: a small test picture and scene, and pictures written
and read through OpenImageIO's Python binding with alpha left as stored, as the command line
itself reads and writes them."""

import json
import os
import subprocess

import numpy as np
import OpenImageIO as oiio
import pytest

# Two strokes on either side of a dark edge and a third in the corner: three labels, colour
# and tone adjustments, a colorize slot, and the blur so the effect passes run too.
SCENE = {
    "masks": [
        {"name": "Left", "color": "#4080ff", "closed": False,
         "vertices": [{"x": 8, "y": 10}, {"x": 20, "y": 40}]},
        {"name": "Right", "color": "#ff8040", "closed": False,
         "vertices": [{"x": 60, "y": 12}, {"x": 70, "y": 44}]},
        {"name": "Corner", "color": "#20ff20", "closed": True,
         "vertices": [{"x": 86, "y": 4}, {"x": 92, "y": 4}, {"x": 92, "y": 10}]},
    ],
    "params": {
        "Adjust 1": {"Mask": "Left", "Hue": 40, "Saturation": 30, "Effects": 60},
        "Adjust 2": {"Mask": "Right", "Brightness": -25, "Temperature": 40},
        "Colorize": {"Mask 1": "Corner", "Color 1": "#3366cc", "Opacity 1": 70},
        "Blur": {"Amount": 2},
    },
}

WIDTH, HEIGHT = 96, 56
FULL = {np.uint8: 255, np.uint16: 65535, np.float32: 1.0}


def picture(dtype, channels, seed=1, width=WIDTH, height=HEIGHT):
    """Gradients, a dark vertical edge and noise; alpha varies where there is alpha."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width].astype(np.float32)
    base = np.stack([x / width, y / height, 0.5 + 0.4 * np.sin(x / 7.0)], axis=-1)
    base[:, 40:44] *= 0.15
    base = np.clip(base + rng.normal(0, 0.03, base.shape), 0, 1)
    if channels == 4:
        alpha = np.clip(0.4 + x / width + rng.normal(0, 0.05, x.shape), 0, 1)
        base = np.concatenate([base, alpha[..., None]], axis=-1)
    if dtype == np.float32:
        return base.astype(np.float32)
    return np.round(base * FULL[dtype]).astype(dtype)


def write_picture(path, array):
    spec = oiio.ImageSpec(array.shape[1], array.shape[0], array.shape[2],
                          {np.uint8: "uint8", np.uint16: "uint16", np.float32: "float"}[
                              array.dtype.type])
    if array.shape[2] == 4:
        spec.alpha_channel = 3
    spec.attribute("oiio:UnassociatedAlpha", 1)
    out = oiio.ImageOutput.create(str(path))
    assert out.open(str(path), spec), oiio.geterror()
    assert out.write_image(array), out.geterror()
    out.close()


def read_picture(path, dtype):
    config = oiio.ImageSpec()
    config.attribute("oiio:UnassociatedAlpha", 1)
    inp = oiio.ImageInput.open(str(path), config)
    assert inp, oiio.geterror()
    fmt = {np.uint8: "uint8", np.uint16: "uint16", np.float32: "float"}[dtype]
    pixels = inp.read_image(0, 0, 0, inp.spec().nchannels, fmt)
    inp.close()
    return pixels


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("ZP_CLI")
    if not path:
        pytest.fail("ZP_CLI must name the built zonepainter tool (ctest sets it)")
    return path


@pytest.fixture
def scene_file(tmp_path):
    path = tmp_path / "scene.json"
    path.write_text(json.dumps(SCENE))
    return path


def run_cli(cli, *args):
    done = subprocess.run([cli, *map(str, args)], capture_output=True, text=True)
    return done.returncode, done.stderr
