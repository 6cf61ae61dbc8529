# Types of the package's public names (the names starting with "_" exist only here); the
# docstrings are in __init__.py and _errors.py.
import os
from collections.abc import Mapping
from types import TracebackType
from typing import Any, Literal, TypedDict

import numpy as np
import numpy.typing as npt

__all__ = ["render", "info", "Session", "SceneError", "PluginError"]

__version__: str

# uint8, uint16 or float32 (float64 is taken and rounded to float32): H x W, or H x W x 1 to 4.
_Image = npt.NDArray[np.uint8] | npt.NDArray[np.uint16] | npt.NDArray[np.float32] | npt.NDArray[
    np.float64]
_Result = npt.NDArray[np.uint8] | npt.NDArray[np.uint16] | npt.NDArray[np.float32]
_Scene = str | os.PathLike[str] | Mapping[str, Any]
_Factor = str | int | tuple[int, int]
_Downsample = _Factor | tuple[_Factor, _Factor]
_View = Literal["image", "strokes", "labels", "weights"]
_Depth = Literal[8, 16, 32]

class _ParamInfo(TypedDict):
    index: int
    group: str | None
    name: str
    type: Literal["slider", "color", "popup", "checkbox", "mask"]
    range: tuple[float, float] | None
    default: float | str | bool | None
    choices: list[str] | None

class _EffectInfo(TypedDict):
    about: str
    params: list[_ParamInfo]

class _Timings(TypedDict):
    stages: dict[str, float]
    reused: bool
    blend_reused: bool

class SceneError(ValueError): ...

class PluginError(RuntimeError):
    code: int
    def __init__(self, message: str, code: int) -> None: ...

def info() -> _EffectInfo: ...

class Session:
    def __init__(self, scene: _Scene) -> None: ...
    def set_scene(self, scene: _Scene) -> None: ...
    def render(
        self,
        image: _Image,
        params: Mapping[str, Any] | None = None,
        depth: _Depth | None = None,
        downsample: _Downsample | None = None,
        view: _View = "image",
    ) -> _Result: ...
    def scene_json(self) -> str: ...
    @property
    def last_timings(self) -> _Timings | None: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    def __enter__(self) -> Session: ...
    def __exit__(
        self,
        exc_type: type[BaseException] | None,
        exc: BaseException | None,
        tb: TracebackType | None,
    ) -> Literal[False]: ...

def render(
    image: _Image,
    scene: _Scene,
    depth: _Depth | None = None,
    downsample: _Downsample | None = None,
    view: _View = "image",
    *,
    colorspace: str | None = None,
    working_space: str | None = None,
) -> _Result: ...
