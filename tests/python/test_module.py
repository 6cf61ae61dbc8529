"""The Python module against the command line: same bytes for the same picture, the command
line's errors, a session's kept label map, and sessions on several threads."""

import copy
import json
import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import zonepainter
from conftest import SCENE, picture, read_picture, run_cli, write_picture


@pytest.mark.parametrize("dtype, channels, ext, downsample, view", [
    (np.uint8, 4, "png", None, "image"),
    (np.uint16, 3, "png", "1/2", "image"),
    (np.uint16, 4, "tif", None, "strokes"),
    (np.float32, 4, "tif", None, "image"),
    (np.float32, 3, "tif", "1/2,1/4", "labels"),
], ids=["8bit-rgba", "16bit-rgb-half", "16bit-strokes", "float-rgba", "float-labels-quarter"])
def test_module_gives_the_command_lines_bytes(cli, scene_file, tmp_path, dtype, channels, ext,
                                              downsample, view):
    image = picture(dtype, channels)
    src, dst = tmp_path / f"in.{ext}", tmp_path / f"out.{ext}"
    write_picture(src, image)
    args = ["render", "--scene", scene_file, "--input", src, "--output", dst, "--view", view]
    if downsample:
        args += ["--downsample", downsample]
    code, err = run_cli(cli, *args)
    assert code == 0, err
    expected = read_picture(dst, dtype)

    got = zonepainter.render(image, scene_file, downsample=downsample, view=view)

    assert got.dtype == image.dtype and got.shape == image.shape
    if view != "image":
        # The command line writes views without alpha; the module gives them full alpha.
        if channels == 4:
            assert np.all(got[..., 3] == (1.0 if dtype == np.float32 else np.iinfo(dtype).max))
        got = got[..., :3]
    np.testing.assert_array_equal(got, expected)
    assert not np.array_equal(got, image[..., :got.shape[2]]), "the scene changed nothing"


def test_scene_errors_carry_the_command_lines_message(cli, tmp_path):
    bad = copy.deepcopy(SCENE)
    bad["params"]["Adjust 1"]["Hue"] = 400
    path = tmp_path / "bad.json"
    path.write_text(json.dumps(bad))
    write_picture(tmp_path / "in.png", picture(np.uint8, 3))
    code, err = run_cli(cli, "render", "--scene", path, "--input", tmp_path / "in.png",
                        "--output", tmp_path / "out.png")
    assert code == 2

    with pytest.raises(zonepainter.SceneError) as caught:
        zonepainter.render(picture(np.uint8, 3), str(path))
    assert err.strip() == f"zonepainter: scene error: {caught.value}"
    assert str(caught.value) == f"{path}: /params/Adjust 1/Hue: 400 is outside -360..360"
    assert isinstance(caught.value, ValueError)


# The first suite asked for is the compute cache at global setup, which the effect can do without;
# the second is one that sequence setup needs.
@pytest.mark.parametrize("host_call", ["checkout_output", "AcquireSuite:2"])
def test_plugin_errors_carry_the_command_lines_message_and_code(cli, scene_file, tmp_path,
                                                               host_call):
    write_picture(tmp_path / "in.png", picture(np.uint8, 3))
    code, err = run_cli(cli, "render", "--scene", scene_file, "--input", tmp_path / "in.png",
                        "--output", tmp_path / "out.png", "--fail-host-call", host_call)
    assert code == 1

    with pytest.raises(zonepainter.PluginError) as caught:
        with zonepainter.Session(SCENE, _fail_host_call=host_call) as session:
            session.render(picture(np.uint8, 3))
    assert err.strip() == f"zonepainter: {caught.value}"
    assert caught.value.code == int(err.split("error ")[1].split()[0])
    assert isinstance(caught.value, RuntimeError)


@pytest.mark.parametrize("image, problem", [
    (np.zeros((8, 8), np.uint8), r"height x width x 3 \(RGB\) or 4 \(RGBA\), got shape \(8, 8\)"),
    (np.zeros((8, 8, 2), np.uint8), r"got shape \(8, 8, 2\)"),
    (np.zeros((8, 8, 4), np.float64), r"uint8, uint16 or float32 .* got float64"),
    (np.zeros((8, 8, 4), ">u2"), r"native byte order, got >u2"),
    (picture(np.uint8, 4)[:, ::2], r"not one aligned, C-contiguous block"),
    (np.zeros((0, 0, 4), np.uint8), r"0 x 0 pixels; a picture needs at least one"),
], ids=["2d", "2-channels", "float64", "byteswapped", "strided", "0x0"])
def test_bad_arrays_raise_value_error(image, problem):
    with pytest.raises(ValueError, match=r"^image: .*" + problem):
        zonepainter.render(image, SCENE)


def test_session_colour_override_reuses_the_label_map_and_equals_a_fresh_render():
    image = picture(np.uint16, 4)
    colour = {"Adjust 1": {"Hue": -90}, "Colorize": {"Color 1": "#cc3366"}}
    with zonepainter.Session(SCENE) as session:
        first = session.render(image)
        assert session.last_timings["reused"] is False
        second = session.render(image, params=colour)
        assert session.last_timings["reused"] is True
        assert session.last_timings["blend_reused"] is True
        assert json.loads(session.scene_json())["params"]["Adjust 1"]["Hue"] == -90

        with pytest.raises(zonepainter.SceneError,
                           match=r"^params: /params/Adjust 1/Hue: 400 is outside -360\.\.360$"):
            session.render(image, params={"Adjust 1": {"Hue": 400}})
        # Moving a group to another mask changes the strokes: the labels spread again.
        session.render(image, params={"Adjust 1": {"Mask": "Corner"}})
        assert session.last_timings["reused"] is False
        again = session.render(image, params=colour)
    assert session.closed
    with pytest.raises(ValueError, match="the session is closed"):
        session.render(image)

    scene = copy.deepcopy(SCENE)
    scene["params"]["Adjust 1"]["Hue"] = -90
    scene["params"]["Colorize"]["Color 1"] = "#cc3366"
    fresh = zonepainter.render(image, json.dumps(scene))
    assert not np.array_equal(first, fresh)
    np.testing.assert_array_equal(second, fresh)
    np.testing.assert_array_equal(again, fresh)


def test_sessions_on_several_threads_give_the_serial_bytes():
    def job(i, dtype):
        scene = copy.deepcopy(SCENE)
        scene["params"]["Adjust 1"]["Hue"] = 30 * i
        # Large enough for the renders on different threads to overlap.
        return picture(dtype, 4, seed=i, width=320, height=200), scene

    own_jobs = [job(i, [np.uint8, np.uint16, np.float32][i % 3]) for i in range(6)]
    # One picture with other settings, as an editor sends them: a sequence's blur keeps what
    # the frames before it decided (docs/shots.md), so other pictures could differ from a
    # one-shot render in a shared session whatever the threads do.
    image = picture(np.uint16, 4, seed=9, width=320, height=200)
    shared_jobs = [(image, job(i, np.uint16)[1]) for i in range(4)]
    serial = {id(j): zonepainter.render(*j) for j in own_jobs + shared_jobs}

    def in_own_session(image, scene):
        with zonepainter.Session(SCENE) as session:
            session.render(image)  # the next render reuses this one's label map
            return session.render(image, params={"Adjust 1": scene["params"]["Adjust 1"]})

    shared = zonepainter.Session(SCENE)
    start = threading.Barrier(len(shared_jobs), timeout=120)

    def on_shared_session(image, scene):
        start.wait()
        return shared.render(image, params={"Adjust 1": scene["params"]["Adjust 1"]})

    with ThreadPoolExecutor(len(shared_jobs)) as pool:
        own = list(pool.map(lambda j: in_own_session(*j), own_jobs))
        common = list(pool.map(lambda j: on_shared_session(*j), shared_jobs))
    shared.close()
    for i, (j, got) in enumerate(zip(own_jobs, own)):
        np.testing.assert_array_equal(got, serial[id(j)], err_msg=f"own session {i}")
    for i, (j, got) in enumerate(zip(shared_jobs, common)):
        np.testing.assert_array_equal(got, serial[id(j)], err_msg=f"shared session {i}")


@pytest.mark.parametrize("dtype", [np.uint8, np.uint16, np.float32])
def test_colour_managed_render_gives_the_command_lines_bytes(cli, scene_file, tmp_path, dtype):
    image = picture(dtype, 4)
    src, dst = tmp_path / "in.tif", tmp_path / "out.tif"
    write_picture(src, image)
    code, err = run_cli(cli, "render", "--scene", scene_file, "--input", src, "--output", dst,
                        "--colorspace", "sRGB", "--working-space", "linear")
    assert code == 0, err

    got = zonepainter.render(image, scene_file, colorspace="sRGB", working_space="linear")

    np.testing.assert_array_equal(got, read_picture(dst, dtype))
    assert not np.array_equal(got, zonepainter.render(image, scene_file)), \
        "grading in linear differs from grading in sRGB"
    with pytest.raises(ValueError, match="no such colour space"):
        zonepainter.render(image, scene_file, colorspace="sRGB", working_space="nope")
