import inspect
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

SIGNATURES = {
    "source_bytes": "($self)", "parse": "(data)", "open": "(path)", "open_mmap": "(path)",
    "version": "($self)", "effective_version": "($self)", "page_count": "($self)",
    "object_count": "($self)", "xref": "($self)", "objects": "($self)",
    "object": "($self, number, generation=0)", "object_text": "($self, number, generation=0)",
    "dump_objects": "($self)", "text": "($self)", "references_text": "($self)",
    "page_texts": "($self)", "page_text": "($self, index)", "pages": "($self)",
}


def bound_methods() -> list[str]:
    return [name for name in vars(quarvel.Document) if not name.startswith("__")]


def test_module_exports():
    assert quarvel.__all__ == ["Document", "write_text_pdf"]
    assert quarvel.__doc__ == ""
    assert quarvel.write_text_pdf.__module__ == "quarvel"
    assert quarvel.write_text_pdf.__text_signature__ == "(pages, title=None, author=None)"


def test_document_type_properties(hello_pdf):
    cls = quarvel.Document
    assert cls.__module__ == "quarvel"
    assert cls.__text_signature__ == "(data)"
    assert cls.__doc__ == ""
    assert str(inspect.signature(cls)) == "(data)"
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    document = cls(hello_pdf)
    with pytest.raises(AttributeError):
        document.anything = 1
    with pytest.raises(TypeError):
        weakref.ref(document)
    with pytest.raises((AttributeError, TypeError)):
        cls.version = None


def test_methods_follow_registration_order():
    bound = bound_methods()
    assert set(SIGNATURES) <= set(bound)
    assert bound == [name for name in ALL_METHODS if name in bound]


@pytest.mark.parametrize("name", SIGNATURES)
def test_method_signature(name):
    method = getattr(quarvel.Document, name)
    assert method.__text_signature__ == SIGNATURES[name]
    is_static = isinstance(vars(quarvel.Document)[name], staticmethod)
    assert is_static == (name in ("parse", "open", "open_mmap"))
    inspect.signature(method)


@pytest.mark.parametrize("name", [n for n, s in SIGNATURES.items() if s == "($self)"])
def test_no_argument_methods_reject_arguments(hello_pdf, name):
    with pytest.raises(TypeError):
        getattr(quarvel.Document(hello_pdf), name)(0)
