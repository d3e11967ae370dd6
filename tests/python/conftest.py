import os
import pathlib
import sys

import pytest

TESTS = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(TESTS))

from pdf_builder import PdfBuilder, text_pdf  # noqa: E402,F401


def corpus_dir() -> pathlib.Path:
    return pathlib.Path(os.environ.get("QUARVEL_CORPUS", TESTS.parent / ".." / "shared" / "corpus"))


def page_tree_pdf(root_extra: str = "", pages: list[str] | None = None) -> bytes:
    """A catalog, a page tree root with `root_extra` entries and the given page dictionaries
    (objects 3, 4, ...), each page's /Parent set by the caller."""
    pages = ["<< /Type /Page /Parent 2 0 R >>"] if pages is None else pages
    kids = " ".join(f"{3 + i} 0 R" for i in range(len(pages)))
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, f"<< /Type /Pages /Kids [{kids}] /Count {len(pages)} {root_extra} >>")
    for i, page in enumerate(pages):
        b.add(3 + i, page)
    return b.build()


@pytest.fixture
def hello_pdf() -> bytes:
    return text_pdf(["Hello", "World"])
