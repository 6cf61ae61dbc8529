"""The folder the studio was started for: every path the page names is resolved inside it.

Paths from the page are relative to the folder (an absolute path is accepted only when it lies
inside). Symbolic links are followed before the check, so a link that leads out of the folder is
refused like "../". Writes go to a temporary name in the target's folder and are renamed into
place, so a failed write leaves nothing half-written and an existing file stays as it was. A
write that must not replace a file puts the finished file in place with a hard link, which
fails when the name is taken, so a file made meanwhile is not lost either.
"""

import os
import tempfile

# mkstemp makes files only the owner may read; a saved scene gets the usual permissions instead.
_UMASK = os.umask(0)
os.umask(_UMASK)


class PathRefused(Exception):
    """A path from the page that is malformed or leads outside the folder."""


class FileExists(Exception):
    """A write that would replace an existing file without being told to; the path as given."""


class Folder:
    def __init__(self, root):
        self.root = os.path.realpath(root)

    def _inside(self, real):
        return real == self.root or real.startswith(self.root.rstrip(os.sep) + os.sep)

    def _resolve(self, path):
        if not isinstance(path, str) or not path.strip():
            raise PathRefused("path: expected a file name")
        if "\0" in path:
            raise PathRefused("path: contains a NUL character")
        real = os.path.realpath(os.path.join(self.root, path))
        if not self._inside(real):
            raise PathRefused(f"{path}: outside the studio's folder")
        return real

    def relative(self, real):
        return os.path.relpath(real, self.root)

    def for_reading(self, path):
        """The real path of an existing file inside the folder."""
        real = self._resolve(path)
        if not os.path.isfile(real):
            raise FileNotFoundError(f"{path}: no such file")
        return real

    def for_writing(self, path):
        """The real path a new file may be written at; its folder must exist."""
        real = self._resolve(path)
        if real == self.root or os.path.isdir(real):
            raise PathRefused(f"{path}: is a folder")
        if not os.path.isdir(os.path.dirname(real)):
            raise FileNotFoundError(f"{path}: its folder does not exist")
        return real


def write_atomically(real, write, overwrite=True, shown=None):
    """Calls write(temporary_path) and moves the result to real.

    Without overwrite an existing file at real stays and FileExists(shown) is raised.
    """
    folder, name = os.path.split(real)
    fd, temporary = tempfile.mkstemp(prefix=f".{name}.", suffix=os.path.splitext(name)[1],
                                     dir=folder)
    os.close(fd)
    try:
        write(temporary)
        os.chmod(temporary, 0o666 & ~_UMASK)
        if overwrite:
            os.replace(temporary, real)
        else:
            _place_new(temporary, real, shown or real)
    except BaseException:
        try:
            os.unlink(temporary)
        except FileNotFoundError:
            pass
        raise


def _place_new(temporary, real, shown):
    try:
        os.link(temporary, real)
    except FileExistsError:
        raise FileExists(shown) from None
    except OSError:
        # No hard links on this file system (some network and FAT ones): the check and the
        # rename are two steps there.
        if os.path.lexists(real):
            raise FileExists(shown) from None
        os.replace(temporary, real)
        return
    os.unlink(temporary)
