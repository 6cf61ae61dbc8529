"""Zonepainter Studio: draw strokes and grade a frame in the browser, rendered by the effect.

``python3 -m zonepainter.studio [IMAGE] [--scene FILE]`` serves a page on 127.0.0.1 that draws
masks over the frame, sets every parameter, and shows the result and the strokes, labels and
weights views as the effect renders them; scenes saved there are the command line's scene
files. See docs/studio.md.
"""

from .server import Studio, make_app

__all__ = ["Studio", "make_app"]
