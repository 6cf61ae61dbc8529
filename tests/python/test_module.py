"""The Python module against the command line: same bytes for the same picture, the command
line's errors, a session's kept label map, sessions on several threads, its stubs, and the
package as `pip install .` installs it."""

import ast
import copy
import inspect
import json
import os
import re
import shutil
import subprocess
import sys
import threading
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import pytest

import zonepainter
from conftest import SCENE, picture, read_picture, run_cli, write_picture

SOURCE = Path(__file__).resolve().parents[2]


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


def grey_with_alpha(dtype):
    rgba = picture(dtype, 4)
    return np.ascontiguousarray(np.stack([rgba[..., 0], rgba[..., 3]], axis=-1))


# Grey arrays against grey files; a float64 array against the float32 file it rounds to.
@pytest.mark.parametrize("image, ext", [
    (np.ascontiguousarray(picture(np.uint8, 3)[..., 1]), "png"),
    (np.ascontiguousarray(picture(np.uint16, 3)[..., :1]), "png"),
    (grey_with_alpha(np.uint16), "png"),
    (picture(np.float32, 4).astype(np.float64) + 1e-9, "tif"),
], ids=["8bit-grey-2d", "16bit-grey-1", "16bit-grey-alpha", "float64-rgba"])
def test_grey_and_float64_arrays_give_the_command_lines_bytes(cli, scene_file, tmp_path, image,
                                                              ext):
    as_file = image.astype(np.float32) if image.dtype == np.float64 else image
    src, dst = tmp_path / f"in.{ext}", tmp_path / f"out.{ext}"
    write_picture(src, as_file if as_file.ndim == 3 else as_file[..., None])
    code, err = run_cli(cli, "render", "--scene", scene_file, "--input", src, "--output", dst)
    assert code == 0, err
    expected = read_picture(dst, as_file.dtype.type)
    assert expected.shape[2] == (4 if image.ndim == 3 and image.shape[2] in (2, 4) else 3)

    got = zonepainter.render(image, scene_file)

    assert got.dtype == as_file.dtype
    np.testing.assert_array_equal(got, expected)


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


# Messages name the argument the caller passed, never one of the command line's options.
@pytest.mark.parametrize("kwargs, error, message", [
    ({"scene": "grade.json"}, zonepainter.SceneError,
     "scene='grade.json': neither an existing scene file nor scene JSON"),
    ({"scene": '"masks": []'}, zonepainter.SceneError,
     "scene='\"masks\": []': neither an existing scene file nor scene JSON"),
    ({"scene": SCENE, "downsample": "3/2"}, ValueError,
     'downsample="3/2": a host reduces layers, it never enlarges them'),
    ({"scene": SCENE, "downsample": ((1, 2), "1/x")}, ValueError,
     'downsample="1/2,1/x": expected N or N/D'),
    ({"scene": SCENE, "depth": 12}, ValueError, "depth=12: expected 8, 16 or 32"),
    ({"scene": SCENE, "view": "mask"}, ValueError, 'view="mask": expected "image"'),
], ids=["scene-name", "scene-snippet", "downsample-enlarges", "downsample-text", "depth", "view"])
def test_argument_errors_name_the_argument(tmp_path, monkeypatch, kwargs, error, message):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error) as caught:
        zonepainter.render(picture(np.uint8, 3), **kwargs)
    assert str(caught.value).startswith(message)
    assert "--" not in str(caught.value)


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
    (np.zeros(8, np.uint8), r"height x width \(grey\) or .* 4 \(RGBA\), got shape \(8,\)"),
    (np.zeros((8, 8, 5), np.uint8), r"got shape \(8, 8, 5\)"),
    (np.zeros((8, 8, 4), np.int32), r"uint8, uint16, float32 or float64 .* got int32"),
    (np.zeros((8, 8, 4), ">u2"), r"native byte order, got >u2"),
    (picture(np.uint8, 4)[:, ::2], r"not one aligned, C-contiguous block"),
    (np.zeros((0, 0, 4), np.uint8), r"0 x 0 pixels; a picture needs at least one"),
], ids=["1d", "5-channels", "int32", "byteswapped", "strided", "0x0"])
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
def stub_declarations():
    """{name: ast node} for the package's stub, Session's members as "Session.name"."""
    tree = ast.parse((Path(zonepainter.__file__).parent / "__init__.pyi").read_text())
    found = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            found[node.name] = node
        if isinstance(node, ast.AnnAssign):
            found[node.target.id] = node
        if isinstance(node, ast.ClassDef):
            for member in node.body:
                if isinstance(member, ast.FunctionDef):
                    found[f"{node.name}.{member.name}"] = member
    return found


def stub_parameters(node):
    args = node.args
    return [a.arg for a in args.posonlyargs + args.args + args.kwonlyargs]


def test_every_public_name_has_a_docstring_and_a_stub_that_takes_its_arguments():
    declared = stub_declarations()
    assert (Path(zonepainter.__file__).parent / "py.typed").is_file()
    version = re.search(r"project\(Zonepainter VERSION ([0-9.]+)",
                        (SOURCE / "CMakeLists.txt").read_text()).group(1)
    assert zonepainter.__version__ == version and "__version__" in declared

    public = {name: getattr(zonepainter, name) for name in zonepainter.__all__}
    public.update({f"Session.{name}": member for name, member in vars(zonepainter.Session).items()
                   if not name.startswith("_")})
    for name, value in public.items():
        assert name in declared, f"{name} is not in __init__.pyi"
        assert inspect.getdoc(value), f"{name} has no docstring"
        if inspect.isfunction(value):
            # The stub may know arguments still to come, but none the code has is missing.
            missing = set(inspect.signature(value).parameters) - set(
                stub_parameters(declared[name]))
            assert not missing, f"__init__.pyi: {name} lacks {sorted(missing)}"


def test_pip_install_builds_a_package_that_renders_from_outside_the_tree(tmp_path):
    # A copy of the tree, as a fresh checkout would be, without the build trees in it.
    source = tmp_path / "src"
    shutil.copytree(SOURCE, source, ignore=lambda folder, names: [
        n for n in names if n in (".git", "__pycache__") or n.endswith(".egg-info")
        or (Path(folder) == SOURCE and (n.startswith("build") or n in ("out", "demo-output")))])
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    if shutil.which("ccache"):
        # Paths relative to the copy: a later run of this test finds its compiles in the cache.
        env.update(CCACHE_BASEDIR=str(source), CMAKE_ARGS="-DCMAKE_C_COMPILER_LAUNCHER=ccache "
                   "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", venv], check=True)
    python = str(venv / "bin" / "python")
    done = subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index",
                           "--no-cache-dir", "."], cwd=source, env=env, capture_output=True,
                          text=True)
    assert done.returncode == 0, done.stdout[-3000:] + done.stderr[-3000:]

    image = picture(np.uint16, 4)
    np.save(tmp_path / "image.npy", image)
    np.save(tmp_path / "expected.npy", zonepainter.render(image, SCENE))
    (tmp_path / "scene.json").write_text(json.dumps(SCENE))
    outside = tmp_path / "elsewhere"
    outside.mkdir()
    check = f"""
import importlib.metadata, pathlib, numpy as np, zonepainter, zonepainter.farm, zonepainter.studio
package = pathlib.Path(zonepainter.__file__).parent
assert package.is_relative_to({str(venv)!r}), package
assert zonepainter.__version__ == importlib.metadata.version("zonepainter") == {
    zonepainter.__version__!r}
assert (package / "py.typed").is_file() and (package / "__init__.pyi").is_file()
assert (package / "studio" / "static" / "index.html").is_file()
got = zonepainter.render(np.load("../image.npy"), "../scene.json")
np.testing.assert_array_equal(got, np.load("../expected.npy"))
"""
    done = subprocess.run([python, "-c", check], cwd=outside, env=env, capture_output=True,
                          text=True)
    assert done.returncode == 0, done.stderr
