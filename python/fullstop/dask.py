"""fullstop on a Dask cluster.

    from dask.distributed import Client
    import fullstop.dask
    client = Client("tcp://scheduler:8786")      # or Client() for a local cluster
    fullstop.dask.split_files(paths, "out/")

The splitter travels to the workers as a pickle (the model's bytes), so the
workers need the fullstop package but no model file.
"""

import os
from typing import List, Optional, Sequence, Union

import dask
import dask.bag

from . import Splitter

__all__ = ["split_files", "split_bag"]

ModelArg = Optional[Union[str, os.PathLike, Splitter]]


def _splitter(model: ModelArg) -> Splitter:
    return model if isinstance(model, Splitter) else Splitter(model)


def _split_file(splitter: Splitter, source: str, target: str) -> str:
    with open(source, "rb") as f:
        data = f.read()
    lines = splitter.text_lines(data)
    # Whole-file replacement: a reader never sees half an output.
    partial = target + ".part"
    with open(partial, "wb") as f:
        f.write(lines)
    os.replace(partial, target)
    return target


def split_files(paths: Sequence[Union[str, os.PathLike]], out_dir: Union[str, os.PathLike],
                model: ModelArg = None) -> List[str]:
    """Splits each file on the current Dask scheduler (the cluster of the
    active Client, else Dask's default) and writes out_dir/NAME for input
    NAME, byte-identical to `fullstop -m MODEL -F < NAME`.  Returns the output
    paths in input order.  The paths must be readable from the workers and
    out_dir writable from them (a shared file system on a real cluster).
    """
    splitter = _splitter(model)
    out_dir = os.fspath(out_dir)
    os.makedirs(out_dir, exist_ok=True)
    sources = [os.path.abspath(os.fspath(p)) for p in paths]
    targets = [os.path.join(os.path.abspath(out_dir), os.path.basename(p)) for p in sources]
    if len(set(targets)) != len(targets):
        raise ValueError("split_files: two inputs share a file name")
    shared = dask.delayed(splitter, pure=True, traverse=False)
    tasks = [dask.delayed(_split_file, pure=False)(shared, s, t) for s, t in zip(sources, targets)]
    return list(dask.compute(*tasks))


def _split_partition(documents, splitter: Splitter):
    return [splitter.split(d) for d in documents]


def split_bag(bag: dask.bag.Bag, model: ModelArg = None) -> dask.bag.Bag:
    """A bag of the sentence lists of a bag of documents (str or bytes)."""
    splitter = _splitter(model)
    return bag.map_partitions(_split_partition, splitter)
