import os
from typing import List, Optional, Sequence, Union

import dask.bag

from . import Splitter

def split_files(paths: Sequence[Union[str, os.PathLike[str]]], out_dir: Union[str, os.PathLike[str]],
                model: Optional[Union[str, os.PathLike[str], Splitter]] = ...) -> List[str]: ...
def split_bag(bag: dask.bag.Bag, model: Optional[Union[str, os.PathLike[str], Splitter]] = ...) -> dask.bag.Bag: ...
