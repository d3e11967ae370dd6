"""Batch functions for Ray Data (``pip install 'quarvel[ray]'``).

Each function takes a batch of PDF files, as ``ray.data.read_binary_files(...,
include_paths=True)`` yields them (columns ``bytes`` and ``path``), and returns a
``pyarrow.Table``. A file that fails becomes a row with its message in the ``error``
column, never a failed job::

    import ray
    import quarvel.ray

    ds = quarvel.ray.read_pdfs("s3://bucket/papers/")
    ds.map_batches(quarvel.ray.markdown).write_parquet("s3://bucket/markdown/")

The functions need only pyarrow, so they also serve any engine with such batches.
"""

from __future__ import annotations

import json
from collections.abc import Iterator, Mapping
from typing import TYPE_CHECKING, Any

import quarvel

from .cli import describe

if TYPE_CHECKING:
    import pyarrow as _pyarrow  # type: ignore[import-untyped, unused-ignore]
    import ray.data as _ray_data  # type: ignore[import-not-found, unused-ignore]

__all__ = ["read_pdfs", "text", "markdown", "llm_chunks"]


def read_pdfs(paths: str | list[str], **options: Any) -> _ray_data.Dataset:
    """Every *.pdf (any case) below `paths` (local folders, files or object-store
    prefixes) as rows of ``bytes`` and ``path``; `options` go to read_binary_files."""
    import ray.data  # type: ignore[import-not-found, unused-ignore]

    options.setdefault("file_extensions", ["pdf", "PDF"])
    return ray.data.read_binary_files(paths, include_paths=True, **options)


def _files(batch: Mapping[str, Any]) -> Iterator[tuple[str, bytes]]:
    for path, data in zip(batch["path"], batch["bytes"]):
        yield str(path), bytes(data)


def _table(columns: dict[str, tuple[str, list[Any]]]) -> _pyarrow.Table:
    import pyarrow  # type: ignore[import-untyped, unused-ignore]

    types = {"string": pyarrow.string(), "int": pyarrow.int64()}
    return pyarrow.table({name: pyarrow.array(values, types[kind]) for name, (kind, values) in columns.items()})


def text(batch: Mapping[str, Any], raw: bool = False) -> _pyarrow.Table:
    """One row per file: path, text (the readable text; with `raw` the stored text),
    pages, error."""
    paths: list[str] = []
    texts: list[str | None] = []
    pages: list[int | None] = []
    errors: list[str | None] = []
    for path, data in _files(batch):
        paths.append(path)
        try:
            document = quarvel.Document(data)
            texts.append(document.text() if raw else document.layout_text())
            pages.append(document.page_count())
            errors.append(None)
        except Exception as error:  # noqa: BLE001 - a row, not a failed job
            texts.append(None)
            pages.append(None)
            errors.append(describe(error))
    return _table({"path": ("string", paths), "text": ("string", texts), "pages": ("int", pages),
                   "error": ("string", errors)})


def markdown(batch: Mapping[str, Any]) -> _pyarrow.Table:
    """One row per file: path, markdown, error."""
    paths: list[str] = []
    documents: list[str | None] = []
    errors: list[str | None] = []
    for path, data in _files(batch):
        paths.append(path)
        try:
            documents.append(quarvel.Document(data).to_markdown())
            errors.append(None)
        except Exception as error:  # noqa: BLE001 - a row, not a failed job
            documents.append(None)
            errors.append(describe(error))
    return _table({"path": ("string", paths), "markdown": ("string", documents), "error": ("string", errors)})


def llm_chunks(batch: Mapping[str, Any], ocr: str = "auto") -> _pyarrow.Table:
    """One row per page chunk: path, page_index, page_number, page_label, text, chunk
    (the whole chunk dict as JSON), error. A failing file gives one row with its error."""
    columns: dict[str, tuple[str, list[Any]]] = {
        "path": ("string", []), "page_index": ("int", []), "page_number": ("int", []),
        "page_label": ("string", []), "text": ("string", []), "chunk": ("string", []), "error": ("string", []),
    }

    def row(path: str, chunk: dict[str, Any] | None, error: str | None) -> None:
        text = None if chunk is None else json.dumps(chunk, ensure_ascii=False)
        values = {"path": path, "error": error, "chunk": text}
        for name in ("page_index", "page_number", "page_label", "text"):
            values[name] = None if chunk is None else chunk[name]
        for name, (_, column) in columns.items():
            column.append(values[name])

    for path, data in _files(batch):
        try:
            chunks = quarvel.Document(data).llm_chunks(ocr=ocr)
        except Exception as error:  # noqa: BLE001 - a row, not a failed job
            row(path, None, describe(error))
            continue
        for chunk in chunks:
            row(path, dict(chunk), None)
    return _table(columns)
