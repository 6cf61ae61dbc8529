"""The Dask farm's cost per frame next to the command line's jobs, on the same small frames.

    PYTHONPATH=build/python /usr/bin/python3 bench/farm_overhead.py [FRAMES] [SIDE]

Renders FRAMES frames of SIDE x SIDE pixels (defaults 48 and 64: the frames cost little, so what
is left is the farm's own cost) with `zonepainter render --jobs 2` and with the farm's local
cluster of two workers, and prints both runs' seconds (from the first frame handed out to the
last written, as their closing progress lines say) and the difference per frame. The cluster's
start-up is printed apart.
"""

import os
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import OpenImageIO as oiio

ROOT = Path(__file__).resolve().parents[1]


def seconds(stderr):
    m = re.search(r"rendered, \d+ skipped in ([0-9.]+) s", stderr)
    if not m:
        sys.exit(f"no closing progress line in:\n{stderr}")
    return float(m.group(1))


def main():
    frames = int(sys.argv[1]) if len(sys.argv) > 1 else 48
    side = int(sys.argv[2]) if len(sys.argv) > 2 else 64
    cli = os.environ.get("ZP_CLI", str(ROOT / "build" / "bin" / "zonepainter"))
    scene = ROOT / "examples" / "demo-scene.json"
    photo = oiio.ImageBuf(str(ROOT / "examples" / "astronaut.png")).get_pixels(oiio.UINT8)
    with tempfile.TemporaryDirectory() as d:
        d = Path(d)
        for f in range(1, frames + 1):
            px = np.ascontiguousarray(np.roll(photo, f, axis=1)[:side, :side])
            out = oiio.ImageOutput.create(str(d / f"in.{f:04d}.png"))
            out.open(str(d / f"in.{f:04d}.png"), oiio.ImageSpec(side, side, 3, "uint8"))
            out.write_image(px)
            out.close()
        common = ["--scene", str(scene), "--input", str(d / "in.####.png"), "--frames",
                  f"1-{frames}", "--progress", "plain"]
        run = subprocess.run([cli, "render", *common, "--output", str(d / "cli.####.png"),
                              "--jobs", "2"], capture_output=True, text=True, check=True)
        cli_s = seconds(run.stderr)
        started = time.monotonic()
        run = subprocess.run([sys.executable, "-m", "zonepainter.farm", *common, "--output",
                              str(d / "farm.####.png"), "--workers", "2"],
                             capture_output=True, text=True, check=True)
        whole = time.monotonic() - started
        farm_s = seconds(run.stderr)
    print(f"{frames} frames of {side}x{side}")
    print(f"command line --jobs 2:      {cli_s:.2f} s ({1000 * cli_s / frames:.1f} ms a frame)")
    print(f"farm, local cluster of 2:   {farm_s:.2f} s ({1000 * farm_s / frames:.1f} ms a frame)")
    print(f"farm overhead per frame:    {1000 * (farm_s - cli_s) / frames:.1f} ms")
    print(f"farm start-up and shutdown: {whole - farm_s:.1f} s")


if __name__ == "__main__":
    main()
