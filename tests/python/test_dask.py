import os

import pytest

distributed = pytest.importorskip("dask.distributed")
import dask.bag  # noqa: E402

import fullstop  # noqa: E402
import fullstop.dask  # noqa: E402
from conftest import CLASSIC_MODEL, EN_MODEL, NON_ASCII, SMALL_TEXTS, BROWN_DEV, run_program  # noqa: E402


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as c:
            yield c


@pytest.mark.parametrize("model", [None, CLASSIC_MODEL])
def test_split_files_writes_the_programs_output(client, program, tmp_path, model):
    inputs = tmp_path / "in"
    inputs.mkdir()
    texts = {name: text.encode("utf-8") for name, text in SMALL_TEXTS.items()}
    texts["non_ascii_crlf"] = NON_ASCII.replace("\n", "\r\n").encode("utf-8")
    if os.path.exists(BROWN_DEV):
        texts["brown_dev"] = open(BROWN_DEV, "rb").read()
    paths = []
    for name, data in texts.items():
        (inputs / name).write_bytes(data)
        paths.append(inputs / name)
    outputs = fullstop.dask.split_files(paths, tmp_path / "out", model=model)
    assert outputs == [str(tmp_path / "out" / p.name) for p in paths]
    for path, output in zip(paths, outputs):
        expected = run_program(model or EN_MODEL, path.read_bytes(), "-F").stdout
        assert open(output, "rb").read() == expected, path.name


def test_split_files_refuses_two_inputs_of_one_name(tmp_path):
    with pytest.raises(ValueError):
        fullstop.dask.split_files([tmp_path / "a" / "x", tmp_path / "b" / "x"], tmp_path / "out")


def test_split_bag(client):
    documents = [*SMALL_TEXTS.values(), NON_ASCII]
    bag = dask.bag.from_sequence(documents, npartitions=3)
    splitter = fullstop.Splitter()
    assert fullstop.dask.split_bag(bag).compute() == [splitter.split(d) for d in documents]
