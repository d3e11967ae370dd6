import os
import pathlib

import pytest

from conftest import PdfBuilder, page_tree_pdf, text_pdf
from quarvel import Document


@pytest.mark.parametrize("make", [Document, Document.parse, lambda data: Document(data=data)])
def test_bytes_constructors(make, hello_pdf):
    assert make(hello_pdf).source_bytes() == hello_pdf
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
    missing = str(tmp_path / "missing.pdf")
    verb = "read" if open_ is Document.open else "open"
    with pytest.raises(ValueError, match=f"^failed to {verb} {missing}: {os.strerror(2)}"):
        open_(missing)
    # The C library would open "a"; the message keeps the whole path.
    with pytest.raises(ValueError, match=f"^failed to {verb} a\x00b: embedded null byte$"):
        open_("a\0b")


def test_open_errors_and_mmap_source(tmp_path, hello_pdf):
    with pytest.raises(ValueError, match=f"^failed to read {tmp_path}: "):
        Document.open(str(tmp_path))
    with pytest.raises(ValueError, match=f"^failed to memory-map {tmp_path}: "):
        Document.open_mmap(str(tmp_path))
    path = tmp_path / "a.pdf"
    path.write_bytes(hello_pdf)
    opened, mapped = Document.open(str(path)), Document.open_mmap(str(path))
    path.unlink()
    # The mapped document keeps only the path: its source bytes are read again.
    assert opened.source_bytes() == hello_pdf
    assert mapped.page_texts() == opened.page_texts()
    with pytest.raises(ValueError, match="^failed to read " + str(path)):
        mapped.source_bytes()


@pytest.mark.parametrize("header, catalog_version, effective", [("1.4", "", (1, 4)), ("1.4", "1.7", (1, 7)),
                                                               ("1.7", "1.3", (1, 3)), ("1.7", "1.10", None)])
def test_versions(header, catalog_version, effective):
    b = PdfBuilder(version=header).add(2, "<< /Type /Pages /Kids [] /Count 0 >>")
    b.add(1, "<< /Type /Catalog /Pages 2 0 R" + (f" /Version /{catalog_version}" if catalog_version else "") + " >>")
    document = Document(b.build())
    assert document.version() == tuple(int(x) for x in header.split("."))
    if effective:
        assert document.effective_version() == effective
    else:
        with pytest.raises(ValueError, match="^type mismatch in catalog /Version: expected name in the form /1.N$"):
            document.effective_version()


def test_objects_and_xref(hello_pdf):
    document = Document(page_tree_pdf(pages=[]))
    assert document.object_count() == 2
    assert list(document.objects()[0]) == ["id", "number", "generation", "kind", "xref", "text"]
    assert document.objects()[0] == {"id": "1 0 R", "number": 1, "generation": 0, "kind": "dictionary",
                                     "xref": "in-use offset=15 generation=0",
                                     "text": "<< /Pages 2 0 R /Type /Catalog >>"}
    assert list(document.xref()[0]) == ["id", "number", "generation", "xref"]
    assert document.xref() == [
        {"id": "0 65535 R", "number": 0, "generation": 65535, "xref": "free next=0 generation=65535"},
        {"id": "1 0 R", "number": 1, "generation": 0, "xref": "in-use offset=15 generation=0"},
        {"id": "2 0 R", "number": 2, "generation": 0, "xref": "in-use offset=64 generation=0"}]
    assert "2 0 obj % in-use offset=64" in document.dump_objects()

    document = Document(hello_pdf)
    assert document.object(1) == document.object(1, 0) == document.object(number=1, generation=0)
    assert document.object_text(1) == document.object(1)["text"]
    for method in (document.object, document.object_text):
        with pytest.raises(ValueError, match="^dangling reference to object 99 0$"):
            method(99)
        with pytest.raises(ValueError, match="^dangling reference to object 1 7$"):
            method(1, 7)
    for args, error in [((-1,), OverflowError), ((2**32,), OverflowError), ((1, 70000), OverflowError),
                        ((1, -1), OverflowError), (("1",), TypeError), ((1.0,), TypeError), ((), TypeError),
                        ((1, 0, 0), TypeError)]:
        with pytest.raises(error):
            document.object(*args)
    with pytest.raises(TypeError):
        document.object(1, number=1)


def test_page_text(hello_pdf):
    document = Document(hello_pdf)
    assert document.page_count() == 2
    assert [document.page_text(i) for i in range(2)] == document.page_texts() == ["Hello", "World"]
    assert document.page_text(index=0) == "Hello"
    assert document.text() == "Hello\nWorld"
    with pytest.raises(ValueError, match="^page index out of range$"):
        document.page_text(2)
    with pytest.raises(OverflowError):
        document.page_text(-1)
    # The page list is built before the index is checked.
    broken = Document(page_tree_pdf(pages=["<< /Type /Page /Parent 2 0 R >>", "<< /Type /Bogus >>"]))
    for call in (broken.pages, broken.page_texts, broken.text, lambda: broken.page_text(0)):
        with pytest.raises(ValueError, match="page tree node /Type"):
            call()


def test_page_dicts():
    pages = Document(page_tree_pdf(root_extra="/MediaBox [0 0 612 792] /Rotate 90 /CropBox [1 2 3]", pages=[
        "<< /Type /Page /Parent 2 0 R >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100.5 200] /CropBox [1 1 50 50] /Rotate 180 >>",
        "<< /Type /Page /MediaBox [0 0 3 0 R] /Rotate 1.5 /Parent [2 0 R] >>",
    ])).pages()
    assert [list(p) for p in pages] == [["index", "id", "parent", "media_box", "crop_box", "rotate"]] * 3
    assert pages[0] == {"index": 0, "id": "3 0 R", "parent": "2 0 R", "media_box": [0.0, 0.0, 612.0, 792.0],
                        "crop_box": None, "rotate": 90}
    assert all(isinstance(x, float) for x in pages[0]["media_box"])
    assert pages[1] == {"index": 1, "id": "4 0 R", "parent": "2 0 R", "media_box": [0.0, 0.0, 100.5, 200.0],
                        "crop_box": [1.0, 1.0, 50.0, 50.0], "rotate": 180}
    assert pages[2] == {"index": 2, "id": "5 0 R", "parent": None, "media_box": None, "crop_box": None,
                        "rotate": None}


def test_references_text_and_example():
    assert Document(text_pdf(["Intro", "References [1] A. Author, 2020."])).references_text() == \
        "References [1] A. Author, 2020."
    assert Document(text_pdf(["Nothing here"])).references_text() is None
    document = Document.open(str(pathlib.Path(__file__).resolve().parents[2] / "examples" / "sample.pdf"))
    assert document.page_count() == len(document.page_texts()) >= 1
