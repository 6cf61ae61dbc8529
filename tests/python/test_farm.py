"""The Dask farm renders a shot with the command line's bytes, survives a worker killed in the
middle of the run (and says so), stops cleanly on Ctrl-C, and refuses bad frame options, a
scheduler it can't reach and a cluster without workers as the command line refuses bad input."""

import os
import signal
import socket
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import OpenImageIO as oiio
import pytest

from conftest import run_cli

pytest.importorskip("dask.distributed")

SOURCE = Path(__file__).resolve().parents[2]
SCENE = SOURCE / "examples" / "demo-scene.json"
FRAMES = 12


@pytest.fixture(scope="module")
def shot(tmp_path_factory, cli):
    """The demo photograph moved a little each frame, and the command line's render of it."""
    folder = tmp_path_factory.mktemp("shot")
    photo = oiio.ImageBuf(str(SOURCE / "examples" / "astronaut.png")).get_pixels(oiio.UINT8)
    for f in range(1, FRAMES + 1):
        frame = np.ascontiguousarray(np.roll(photo, 5 * f, axis=1))
        out = oiio.ImageOutput.create(str(folder / f"in.{f:04d}.png"))
        assert out.open(str(folder / f"in.{f:04d}.png"),
                        oiio.ImageSpec(frame.shape[1], frame.shape[0], frame.shape[2], "uint8"))
        assert out.write_image(frame)
        out.close()
    code, err = run_cli(cli, "render", "--scene", SCENE, "--input", folder / "in.####.png",
                        "--output", folder / "cli.####.png", "--frames", f"1-{FRAMES}",
                        "--jobs", "2", "--progress", "none")
    assert code == 0, err
    return folder


def farm(*args, **popen):
    return subprocess.Popen([sys.executable, "-m", "zonepainter.farm", *map(str, args)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **popen)


def assert_frames_match(shot, outputs):
    visible = sorted(p.name for p in outputs.iterdir() if not p.name.startswith("."))
    assert visible == [f"out.{f:04d}.png" for f in range(1, FRAMES + 1)]
    for f in range(1, FRAMES + 1):
        assert (outputs / f"out.{f:04d}.png").read_bytes() == \
            (shot / f"cli.{f:04d}.png").read_bytes(), f"frame {f}"


def test_local_cluster_renders_the_command_lines_frames(shot, tmp_path):
    p = farm("--scene", SCENE, "--input", shot / "in.####.png", "--output",
             tmp_path / "out.####.png", "--frames", f"1-{FRAMES}", "--workers", "2",
             "--progress", "plain")
    _, err = p.communicate(timeout=300)
    assert p.returncode == 0, err
    assert err.count(" done ") == FRAMES
    assert_frames_match(shot, tmp_path)


def test_a_worker_killed_mid_run_costs_no_frame(shot, tmp_path):
    from dask.distributed import Client, LocalCluster

    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        pids = client.run(os.getpid)
        p = farm("--scheduler", cluster.scheduler_address, "--scene", SCENE, "--input",
                 shot / "in.####.png", "--output", tmp_path / "out.####.png", "--frames",
                 f"1-{FRAMES}", "--progress", "plain")
        # Killed while a frame is being written, or failing that while frames are rendering:
        # either way the worker dies holding a frame.
        victim = next(iter(pids.values()))
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and p.poll() is None:
            if any(n.name.startswith(".out.") for n in tmp_path.iterdir()):
                break
            time.sleep(0.005)
        assert p.poll() is None, "the run ended before a worker could be killed"
        os.kill(victim, signal.SIGKILL)
        _, err = p.communicate(timeout=300)
        assert p.returncode == 0, err
    assert "zonepainter.farm: lost worker tcp://" in err, err
    assert_frames_match(shot, tmp_path)


def test_ctrl_c_cancels_the_rest_and_sums_up(shot, tmp_path):
    p = farm("--scene", SCENE, "--input", shot / "in.####.png", "--output",
             tmp_path / "out.####.png", "--frames", f"1-{FRAMES}", "--workers", "1",
             "--progress", "plain")
    seen = []
    for line in p.stderr:
        seen.append(line)
        if " done " in line:
            break
    p.send_signal(signal.SIGINT)
    _, rest = p.communicate(timeout=120)
    err = "".join(seen) + rest
    assert p.returncode == 130, err
    assert "Traceback" not in err, err
    assert err.splitlines()[-1].startswith("zonepainter.farm: "), err
    assert err.rstrip().endswith("frames cancelled (interrupted)"), err
    done = [n for n in tmp_path.iterdir() if not n.name.startswith(".")]
    assert 1 <= len(done) < FRAMES


def test_no_scheduler_or_no_worker_is_one_line_and_exit_2(tmp_path):
    from dask.distributed import LocalCluster

    args = ["--scene", SCENE, "--input", tmp_path / "in.####.png", "--output",
            tmp_path / "out.####.png", "--frames", "1-2", "--wait-for-workers", "1"]
    with LocalCluster(n_workers=0, processes=True, dashboard_address=None) as cluster:
        address = cluster.scheduler_address
        p = farm("--scheduler", address, *args)
        _, err = p.communicate(timeout=120)
    assert p.returncode == 2, err
    assert err.splitlines() == [
        f"zonepainter.farm: waiting up to 1 s for a worker to join {address}",
        f"zonepainter.farm: no worker joined {address} in 1 s; start one with: dask-worker "
        f"{address} --nthreads 1"], err

    with socket.socket() as s:  # a port nobody listens on once it is closed
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    p = farm("--scheduler", f"tcp://127.0.0.1:{port}", *args)
    _, err = p.communicate(timeout=120)
    assert p.returncode == 2, err
    assert len(err.splitlines()) == 1, err
    assert err.startswith(f"zonepainter.farm: cannot reach the scheduler at tcp://127.0.0.1:{port}")


@pytest.mark.parametrize("args, message", [
    (["--input", "in.png", "--output", "out.png", "--frames", "1-3"], "frame token"),
    (["--input", "in.####.png", "--output", "out.####.png", "--frames", "9-1"], "9-1"),
    (["--input", "in.####.png", "--output", "out.png", "--frames", "1-3"], "--output"),
])
def test_bad_frame_options_exit_2_before_any_cluster(tmp_path, args, message):
    p = farm("--scene", SCENE, *args, cwd=tmp_path)
    _, err = p.communicate(timeout=60)
    assert p.returncode == 2
    assert err.startswith("zonepainter.farm: ") and message in err, err
    assert list(tmp_path.iterdir()) == []


def test_a_frame_whose_output_is_its_input_fails_and_leaves_it(shot, tmp_path):
    from zonepainter import _farm

    os.symlink(shot, tmp_path / "linked")
    before = (shot / "in.0001.png").read_bytes()
    r = _farm.render_sequence_frame({"scene": str(SCENE), "input": str(shot / "in.####.png"),
                                     "output": str(tmp_path / "linked" / "in.####.png"),
                                     "frames": "1"}, 1)
    assert (r["status"], r["exit_code"]) == ("failed", 2), r
    assert "refusing to write over it" in r["reason"]
    assert (shot / "in.0001.png").read_bytes() == before
