import inspect
import shutil
import subprocess
import weakref

import pytest

import quarvel

ALL_METHODS = [
    "source_bytes", "parse", "open", "open_mmap", "version", "effective_version", "page_count",
    "object_count", "xref", "objects", "object", "object_text", "dump_objects", "text",
    "references_text", "to_markdown", "page_chunks", "llm_document", "llm_chunks", "ocr_requests",
    "with_metadata", "with_text_annotation", "with_uri_link", "page_texts", "page_text", "pages",
    "page_labels", "metadata", "metadata_xml", "outlines", "page_annotations", "page_links",
    "page_fonts", "fonts", "page_images", "images", "named_destinations", "embedded_files",
    "form_fields",
]
# Beyond the specified methods, after them.
LAYOUT_METHODS = ["page_words", "page_layout_text", "page_layout_texts", "layout_text"]

SIGNATURES = {
    "source_bytes": "($self)", "parse": "(data)", "open": "(path)", "open_mmap": "(path)",
    "version": "($self)", "effective_version": "($self)", "page_count": "($self)",
    "object_count": "($self)", "xref": "($self)", "objects": "($self)",
    "object": "($self, number, generation=0)", "object_text": "($self, number, generation=0)",
    "dump_objects": "($self)", "text": "($self)", "references_text": "($self)",
    "page_texts": "($self)", "page_text": "($self, index)", "pages": "($self)",
    "to_markdown": "($self)", "page_chunks": "($self, include_fonts=False, include_images=False)",
    "llm_document": "($self, include_text=True, include_images=True, include_links=True, "
                    "include_annotations=True, ocr=\"auto\")",
    "llm_chunks": "($self, include_text=True, include_images=True, include_links=True, "
                  "include_annotations=True, ocr=\"auto\")",
    "ocr_requests": "($self, ocr=\"auto\")",
    "with_metadata": "($self, title=None, author=None, subject=None, keywords=None, creator=None, producer=None)",
    "with_text_annotation": "($self, page_index, rect, contents)",
    "with_uri_link": "($self, page_index, rect, uri)",
    "page_labels": "($self)", "metadata": "($self)", "metadata_xml": "($self)", "outlines": "($self)",
    "page_annotations": "($self, index)", "page_links": "($self, index)",
    "page_fonts": "($self, index, include_data=False)", "fonts": "($self, include_data=False)",
    "page_images": "($self, index, include_data=False, include_pnm=False)",
    "images": "($self, include_data=False, include_pnm=False)",
    "named_destinations": "($self)", "embedded_files": "($self, include_data=False)", "form_fields": "($self)",
    "page_words": "($self, index)", "page_layout_text": "($self, index)", "page_layout_texts": "($self)",
    "layout_text": "($self)",
}


def test_module_and_type():
    assert quarvel.__all__ == ["Document", "write_text_pdf"]
    assert quarvel.__doc__ == quarvel.Document.__doc__ == ""
    assert quarvel.write_text_pdf.__module__ == quarvel.Document.__module__ == "quarvel"
    assert quarvel.write_text_pdf.__text_signature__ == "(pages, title=None, author=None)"
    assert quarvel.Document.__text_signature__ == str(inspect.signature(quarvel.Document)) == "(data)"
    bound = [name for name in vars(quarvel.Document) if not name.startswith("__")]
    assert bound == ALL_METHODS + LAYOUT_METHODS  # registration order
    assert set(SIGNATURES) == set(bound)


def test_type_is_closed(hello_pdf):
    with pytest.raises(TypeError):
        type("Sub", (quarvel.Document,), {})
    document = quarvel.Document(hello_pdf)
    with pytest.raises(AttributeError):
        document.anything = 1
    with pytest.raises(TypeError):
        weakref.ref(document)
    with pytest.raises((AttributeError, TypeError)):
        quarvel.Document.version = None


@pytest.mark.parametrize("name", SIGNATURES)
def test_method_signature(name, hello_pdf):
    method = getattr(quarvel.Document, name)
    assert method.__text_signature__ == SIGNATURES[name]
    assert isinstance(vars(quarvel.Document)[name], staticmethod) == (name in ("parse", "open", "open_mmap"))
    inspect.signature(method)
    if SIGNATURES[name] == "($self)":
        with pytest.raises(TypeError):
            getattr(quarvel.Document(hello_pdf), name)(0)


@pytest.mark.parametrize("pages", [[], ["Hello\nWorld"], ["one", "two", "three"], ["(paren) back\\slash", "a\n\nb\n"],
                                   ("tuple", "of pages"), ["caf\u00e9 \u4e2d\u6587"]])
def test_written_pdf_reads_back(pages, tmp_path):
    data = quarvel.write_text_pdf(pages, title="T", author="A")
    document = quarvel.Document(data)
    count = max(len(pages), 1)
    assert document.page_count() == count
    for page, text in zip(pages, document.page_texts()):
        if page.isascii():
            assert [line for line in text.splitlines() if line] == [line for line in page.splitlines() if line]
    assert document.object_text(2 * count + 3) == "<< /Author (A) /Producer (quarvel) /Title (T) >>"
    if shutil.which("qpdf"):
        path = tmp_path / "out.pdf"
        path.write_bytes(data)
        subprocess.run(["qpdf", "--check", str(path)], check=True, capture_output=True)


def test_optional_strings():
    assert quarvel.write_text_pdf(["x"]) == quarvel.write_text_pdf(["x"], None, author=None)
    assert quarvel.Document(quarvel.write_text_pdf(["x"], title="")).object_text(5) == \
        "<< /Producer (quarvel) /Title () >>"


@pytest.mark.parametrize("args, kwargs", [
    (("one page",), {}), ((b"bytes",), {}), (([1],), {}), ((["ok", None],), {}), ((iter(["x"]),), {}),
    ((["x"],), {"title": 1}), ((["x"],), {"author": b"A"}), ((), {}), ((["x"],), {"subject": "s"}),
])
def test_argument_errors(args, kwargs):
    with pytest.raises(TypeError):
        quarvel.write_text_pdf(*args, **kwargs)
