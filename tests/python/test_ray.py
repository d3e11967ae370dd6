"""Ray Data over the corpus on a local two-CPU cluster: the rows equal what one
process computes file by file."""

import json

import pytest
from conftest import corpus_dir

import quarvel
from quarvel.cli import describe, find_pdfs

ray = pytest.importorskip("ray")
quarvel_ray = pytest.importorskip("quarvel.ray")


@pytest.fixture(scope="module")
def dataset():
    ray.init(num_cpus=2, include_dashboard=False, log_to_driver=False, configure_logging=False)
    try:
        yield quarvel_ray.read_pdfs(str(corpus_dir()))
    finally:
        ray.shutdown()


def expected(path, method, **kwargs):
    try:
        return getattr(quarvel.Document.open(path), method)(**kwargs), None
    except Exception as error:  # noqa: BLE001
        return None, describe(error)


def built(method):
    try:
        getattr(quarvel.Document(quarvel.write_text_pdf(["x"])), method)()
    except NotImplementedError:
        return False
    return True


def rows(dataset, function, **kwargs):
    result = dataset.map_batches(function, fn_kwargs=kwargs, batch_size=8).take_all()
    return sorted(result, key=lambda row: (row["path"], row.get("page_index") or 0))


@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # Ray's own
def test_rows_equal_single_process_results(dataset):
    paths = list(find_pdfs(corpus_dir()))
    text_rows = rows(dataset, quarvel_ray.text, raw=True)
    assert [row["path"] for row in text_rows] == sorted(paths)
    for row in text_rows:
        text, error = expected(row["path"], "text")
        assert (row["text"], row["error"]) == (text, error), row["path"]
        assert row["pages"] == (None if error else quarvel.Document.open(row["path"]).page_count())
    assert sum(row["error"] is None for row in text_rows) > 100

    if built("layout_text"):
        for row in rows(dataset, quarvel_ray.text):
            assert (row["text"], row["error"]) == expected(row["path"], "layout_text"), row["path"]
    if built("to_markdown"):
        for row in rows(dataset, quarvel_ray.markdown):
            assert (row["markdown"], row["error"]) == expected(row["path"], "to_markdown"), row["path"]
    if built("llm_chunks"):
        chunk_rows = rows(dataset, quarvel_ray.llm_chunks, ocr="off")
        by_path = {}
        for row in chunk_rows:
            by_path.setdefault(row["path"], []).append(row)
        assert sorted(by_path) == sorted(paths)
        for path, found in by_path.items():
            chunks, error = expected(path, "llm_chunks", ocr="off")
            if error:
                assert [(row["error"], row["chunk"]) for row in found] == [(error, None)]
            else:
                assert [json.loads(row["chunk"]) for row in found] == json.loads(json.dumps(chunks)), path
