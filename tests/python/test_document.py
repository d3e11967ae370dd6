import os
import pathlib

import pytest

from conftest import PdfBuilder, page_tree_pdf, text_pdf
from quarvel import Document

CONSTRUCTORS = [Document, Document.parse, lambda data: Document(data=data)]


@pytest.mark.parametrize("make", CONSTRUCTORS)
def test_bytes_constructors(make, hello_pdf):
    document = make(hello_pdf)
    assert document.source_bytes() == hello_pdf
    with pytest.raises(ValueError, match="^invalid PDF header$"):
        make(b"")
    for wrong in (bytearray(hello_pdf), memoryview(hello_pdf), "text", None):
        with pytest.raises(TypeError):
            make(wrong)


@pytest.mark.parametrize("open_", [Document.open, Document.open_mmap])
def test_path_constructors(open_, tmp_path, hello_pdf):
    path = tmp_path / "a.pdf"
    path.write_bytes(hello_pdf)
    document = open_(str(path))
    assert document.source_bytes() == hello_pdf
    assert document.page_texts() == Document(hello_pdf).page_texts()
    for wrong in (path, bytes(path)):
        with pytest.raises(TypeError):
            open_(wrong)


def test_missing_files(tmp_path):
    missing = str(tmp_path / "missing.pdf")
    not_found = os.strerror(2)
    with pytest.raises(ValueError) as read_error:
        Document.open(missing)
    assert str(read_error.value) == f"failed to read {missing}: {not_found}"
    with pytest.raises(ValueError) as open_error:
        Document.open_mmap(missing)
    assert str(open_error.value).startswith(f"failed to open {missing}: {not_found}")
    with pytest.raises(ValueError, match="^failed to read "):
        Document.open(str(tmp_path))


def test_open_mmap_keeps_only_the_path(tmp_path, hello_pdf):
    path = tmp_path / "a.pdf"
    path.write_bytes(hello_pdf)
    opened, mapped = Document.open(str(path)), Document.open_mmap(str(path))
    path.unlink()
    assert opened.source_bytes() == hello_pdf
    assert mapped.object_count() == opened.object_count()
    assert mapped.page_texts() == opened.page_texts()
    with pytest.raises(ValueError, match="^failed to read " + str(path)):
        mapped.source_bytes()


@pytest.mark.parametrize("header, catalog_version, effective", [
    ("1.4", None, (1, 4)),
    ("1.4", "1.7", (1, 7)),
    ("1.7", "1.3", (1, 3)),
])
def test_versions(header, catalog_version, effective):
    b = PdfBuilder(version=header)
    extra = f" /Version /{catalog_version}" if catalog_version else ""
    b.add(1, f"<< /Type /Catalog /Pages 2 0 R{extra} >>")
    b.add(2, "<< /Type /Pages /Kids [] /Count 0 >>")
    document = Document(b.build())
    assert document.version() == tuple(int(x) for x in header.split("."))
    assert document.effective_version() == effective
    b.add(1, "<< /Type /Catalog /Pages 2 0 R /Version /1.10 >>")
    with pytest.raises(ValueError, match="1.N"):
        Document(b.build()).effective_version()


def test_objects_and_xref():
    b = PdfBuilder()
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, "<< /Type /Pages /Kids [] /Count 0 >>")
    document = Document(b.build())
    assert document.object_count() == 2
    objects = document.objects()
    assert [o["id"] for o in objects] == ["1 0 R", "2 0 R"]
    assert list(objects[0]) == ["id", "number", "generation", "kind", "xref", "text"]
    assert objects[0]["kind"] == "dictionary"
    assert objects[0]["xref"].startswith("in-use offset=")
    assert objects[0]["text"] == "<< /Pages 2 0 R /Type /Catalog >>"
    rows = document.xref()
    assert [r["id"] for r in rows] == ["0 65535 R", "1 0 R", "2 0 R"]
    assert list(rows[0]) == ["id", "number", "generation", "xref"]
    assert rows[0] == {"id": "0 65535 R", "number": 0, "generation": 65535,
                       "xref": "free next=0 generation=65535"}
    assert "2 0 obj % in-use offset=" in document.dump_objects()


def test_object_arguments(hello_pdf):
    document = Document(hello_pdf)
    assert document.object(1) == document.object(1, 0) == document.object(number=1, generation=0)
    assert document.object_text(1) == document.object(1)["text"]
    for method in (document.object, document.object_text):
        with pytest.raises(ValueError, match="^dangling reference to object 99 0$"):
            method(99)
        with pytest.raises(ValueError, match="^dangling reference to object 1 7$"):
            method(1, 7)
    for args, error in [((-1,), OverflowError), ((2**32,), OverflowError), ((1, 70000), OverflowError),
                        ((1, -1), OverflowError), (("1",), TypeError), ((1.0,), TypeError),
                        ((), TypeError), ((1, 0, 0), TypeError)]:
        with pytest.raises(error):
            document.object(*args)
    with pytest.raises(TypeError):
        document.object(1, number=1)


def test_page_text(hello_pdf):
    document = Document(hello_pdf)
    assert document.page_count() == 2
    assert [document.page_text(i) for i in range(2)] == document.page_texts()
    assert document.page_text(index=0).strip() == "Hello"
    assert "World" in document.text()
    with pytest.raises(ValueError, match="^page index out of range$"):
        document.page_text(2)
    with pytest.raises(OverflowError):
        document.page_text(-1)


@pytest.mark.parametrize("method", ["pages", "page_texts", "text"])
def test_broken_page_tree(method):
    data = page_tree_pdf(pages=["<< /Type /Page /Parent 2 0 R >>", "<< /Type /Bogus >>"])
    document = Document(data)
    with pytest.raises(ValueError, match="page tree node /Type"):
        getattr(document, method)()
    # The page list is built before the index is checked.
    with pytest.raises(ValueError, match="page tree node /Type"):
        document.page_text(0)


def test_page_dicts():
    data = page_tree_pdf(
        root_extra="/MediaBox [0 0 612 792] /Rotate 90 /CropBox [1 2 3]",
        pages=[
            "<< /Type /Page /Parent 2 0 R >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100.5 200] /CropBox [1 1 50 50] /Rotate 180 >>",
            "<< /Type /Page /MediaBox [0 0 3 0 R] /Rotate 1.5 /Parent [2 0 R] >>",
        ])
    pages = Document(data).pages()
    assert [list(p) for p in pages] == [["index", "id", "parent", "media_box", "crop_box", "rotate"]] * 3
    assert pages[0] == {"index": 0, "id": "3 0 R", "parent": "2 0 R", "media_box": [0.0, 0.0, 612.0, 792.0],
                        "crop_box": None, "rotate": 90}
    assert pages[1]["media_box"] == [0.0, 0.0, 100.5, 200.0]
    assert pages[1]["crop_box"] == [1.0, 1.0, 50.0, 50.0]
    assert pages[1]["rotate"] == 180
    assert pages[2]["id"] == "5 0 R"
    assert pages[2]["parent"] is None
    assert pages[2]["media_box"] is None
    assert pages[2]["rotate"] is None
    assert all(isinstance(x, float) for x in pages[0]["media_box"])


def test_references_text():
    with_section = text_pdf(["Intro", "References [1] A. Author, A title, 2020."])
    assert Document(with_section).references_text().startswith("References [1] A. Author")
    assert Document(text_pdf(["Nothing here"])).references_text() is None


def test_example_runs(tmp_path):
    sample = pathlib.Path(__file__).resolve().parents[2] / "examples" / "sample.pdf"
    document = Document.open(str(sample))
    assert document.page_count() == len(document.page_texts()) >= 1
