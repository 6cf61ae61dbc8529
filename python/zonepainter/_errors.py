"""The errors the effect's host reports, as Python exceptions.

The native part raises these with the command line's own messages; they are plain Python classes
so that they pickle with their arguments (a render on another process reports the same error).
"""


class SceneError(ValueError):
    """A scene or parameter override was refused; nothing of it was applied.

    The message names the source (the file path as given, ``scene`` for JSON text or a dict,
    ``params`` for overrides), the place in the document as a JSON Pointer, and the problem::

        scene.json: /params/Adjust 1/Hue: 400 is outside -360..360
    """


class PluginError(RuntimeError):
    """The effect answered a host command with an error.

    ``code`` is the effect's error number (``PF_Err``), e.g. 4 for out of memory; the message
    names the command: ``the plug-in failed during smart render with error 4
    (PF_Err_OUT_OF_MEMORY)``.
    """

    def __init__(self, message, code):
        super().__init__(message)
        self.code = code

    def __reduce__(self):
        return (type(self), (str(self), self.code))
