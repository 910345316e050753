"""Writing files so that a reader never sees a partial one."""

import contextlib
import os
import tempfile


def _umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


@contextlib.contextmanager
def atomic_open(path, mode="w", **kwargs):
    """open() for writing into a temporary sibling of path, synced and
    renamed over path when the block ends without an exception (and removed
    when it does not).  The file gets the permissions open() would give."""
    folder = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(dir=folder, prefix="." + os.path.basename(path) + ".")
    try:
        with os.fdopen(fd, mode, **kwargs) as f:
            yield f
            f.flush()
            os.fsync(f.fileno())
        os.chmod(tmp, 0o666 & ~_umask())
        os.replace(tmp, path)
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(tmp)
        raise


def write_bytes(path, data):
    with atomic_open(path, "wb") as f:
        f.write(data)


def write_text(path, text):
    """UTF-8, line ends written as given."""
    with atomic_open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)
