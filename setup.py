"""Builds and installs the Python package `zonepainter` (python/zonepainter) with its native parts,
which CMake builds from this tree: `pip install .` (on Debian 12, `pip install
--no-build-isolation .` uses the system's setuptools, pybind11 and NumPy as they are).

The extensions are the CMake targets the build tree's python/ folder holds; build_ext configures
a build of its own below setuptools' build folder, builds just those targets (the effect and the
command line's frame code they link) and copies them into the package. CMAKE_ARGS adds
configure arguments (e.g. -DCMAKE_CXX_COMPILER_LAUNCHER=ccache); CMAKE_BUILD_PARALLEL_LEVEL or
build_ext's --parallel sets the build's jobs.
"""

import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    """The one version of the project, from the top CMakeLists.txt's project() call."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*Zonepainter\s+VERSION\s+([0-9]+(?:\.[0-9]+)*)", text)
    if not found:
        raise RuntimeError("CMakeLists.txt: no project(Zonepainter VERSION ...) found")
    return found.group(1)


class CMakeExtension(Extension):
    """An extension module CMake builds: `target` writes python/zonepainter/<stem><suffix>."""

    def __init__(self, name, target):
        super().__init__(name, sources=[])
        self.target = target


class CMakeBuild(build_ext):
    def build_extensions(self):
        build_dir = Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DZP_BUILD_TESTS=OFF", "-DZP_BUILD_BENCH=OFF",
            "-DZP_BUILD_CLI=ON", "-DZP_BUILD_PYTHON=ON",
            # The interpreter installing the package is the one the module is built for.
            f"-DPython3_EXECUTABLE={sys.executable}",
            *shlex.split(os.environ.get("CMAKE_ARGS", "")),
        ]
        subprocess.run(configure, check=True)
        build = ["cmake", "--build", str(build_dir), "--target",
                 *(ext.target for ext in self.extensions)]
        if self.parallel:
            build += ["--parallel", str(self.parallel)]
        elif "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
            build += ["--parallel", str(os.cpu_count() or 1)]
        subprocess.run(build, check=True)

        for ext in self.extensions:
            # CMake names the file with the interpreter's suffix, as setuptools does.
            name = os.path.basename(self.get_ext_filename(ext.name.split(".")[-1]))
            built = build_dir / "python" / "zonepainter" / name
            if not built.is_file():
                raise RuntimeError(f"the CMake target {ext.target} did not write {built}")
            dest = Path(self.get_ext_fullpath(ext.name))
            dest.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(built, dest)


setup(
    version=project_version(),
    package_dir={"": "python"},
    packages=["zonepainter", "zonepainter.studio"],
    package_data={
        "zonepainter": ["py.typed", "*.pyi"],
        "zonepainter.studio": ["static/*.*", "static/js/*.js"],
    },
    ext_modules=[
        CMakeExtension("zonepainter._native", "zp_python"),
        CMakeExtension("zonepainter._farm", "zp_python_farm"),
    ],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
