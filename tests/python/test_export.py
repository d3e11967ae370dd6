import pytest

from conftest import PdfBuilder, page_tree_pdf, text_pdf
from quarvel import Document, write_text_pdf
from test_resources import ordered, shared_forms_pdf

OCR_ERROR = "^ocr must be one of 'off', 'auto', or 'always'$"


def llm_pdf() -> bytes:
    """Page 1: text, an image inside a form, a URI link and a text annotation; page 2: only an image."""
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R /PageLabels << /Nums [0 << /S /A >>] >> >>")
    b.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 200 100] >>")
    b.add(3, "<< /Type /Page /Parent 2 0 R /Rotate 90 /CropBox [1 1 9 9] /Contents 5 0 R "
             "/Resources << /XObject << /Fm 6 0 R >> >> /Annots [8 0 R << /Subtype /Text /Contents (note) >>] >>")
    b.add(4, "<< /Type /Page /Parent 2 0 R /Resources << /XObject << /Im 7 0 R >> >> >>")
    b.add_stream(5, "<< >>", b"BT (Hello) Tj ET")
    b.add_stream(6, "<< /Subtype /Form /Resources << /XObject << /Im 7 0 R >> >> >>", b"/Im Do")
    b.add_stream(7, "<< /Subtype /Image /Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray >>", b"\x00\xff")
    b.add(8, "<< /Subtype /Link /Rect [0 0 5 5] /A << /S /URI /URI (https://example.org) >> >>")
    b.add(9, "<< /Author (Ada) >>")
    return b.build(info=9)


@pytest.fixture(scope="module")
def document() -> Document:
    return Document(llm_pdf())


def block(id, kind, page_index, **fields):
    return {"id": id, "kind": kind, "page_index": page_index, "bbox": None, "text": None, "html": None,
            "markdown": None, "object_id": None, "target": None, "image": None, "ocr_request": None, **fields}


def request(id, target, page_index, reason, **fields):
    return {"id": id, "target": target, "page_index": page_index, "page_number": page_index + 1,
            "page_id": f"{3 + page_index} 0 R", "object_id": None, "resource_path": None, "bbox": None, "width": None,
            "height": None, "reason": reason, "suggested_dpi": 200, **fields}


def test_llm_document_dicts(document):
    metadata = document.metadata()
    box = [0.0, 0.0, 200.0, 100.0]
    image = {"name": "Im", "resource_path": "Fm/Im", "width": 2, "height": 1, "bits_per_component": 8,
             "color_space": "/DeviceGray", "filters": [], "encoded_length": 2}
    image_request = request("page-1-image-1-ocr", "image", 0, "image_may_contain_text", object_id="7 0 R",
                            resource_path="Fm/Im", width=2, height=1)
    page_request = request("page-2-ocr", "page", 1, "no_text", object_id="4 0 R", bbox=box)
    expected = {
        "metadata": metadata,
        "pages": [
            {"page_index": 0, "page_number": 1, "page_label": "A", "page_id": "3 0 R", "media_box": box,
             "crop_box": [1.0, 1.0, 9.0, 9.0], "rotate": 90, "text": "Hello", "metadata": metadata, "blocks": [
                 block("page-1-text", "text", 0, bbox=box, text="Hello", markdown="Hello", object_id="3 0 R"),
                 block("page-1-image-1", "image", 0, markdown="![Im](Fm/Im)", object_id="7 0 R", image=image,
                       ocr_request=image_request),
                 block("page-1-link-1", "link", 0, bbox=[0.0, 0.0, 5.0, 5.0], markdown="https://example.org",
                       object_id="8 0 R", target="https://example.org"),
                 block("page-1-annotation-2", "annotation", 0, text="note", markdown="note", target="Text")]},
            {"page_index": 1, "page_number": 2, "page_label": "B", "page_id": "4 0 R", "media_box": box,
             "crop_box": None, "rotate": None, "text": "", "metadata": metadata, "blocks": [
                 block("page-2-image-1", "image", 1, markdown="![Im](Im)", object_id="7 0 R",
                       image=dict(image, resource_path="Im")),
                 block("page-2-ocr", "ocr_placeholder", 1, bbox=box, markdown="<!-- OCR placeholder: NoText page 2 -->",
                       object_id="4 0 R", target="page", ocr_request=page_request)]}],
        "ocr_requests": [image_request, page_request],
    }
    result = document.llm_document()
    assert ordered(result) == ordered(expected)
    assert result["pages"][0]["metadata"]["author"] == "Ada"
    assert result["pages"][0]["metadata"] is not result["pages"][1]["metadata"]
    assert document.llm_chunks() == result["pages"]
    assert document.ocr_requests() == result["ocr_requests"]


@pytest.mark.parametrize("ocr, ids", [
    ("off", []), ("none", []), ("false", []),
    ("auto", ["page-1-image-1-ocr", "page-2-ocr"]),
    ("always", ["page-1-image-1-ocr", "page-1-ocr", "page-2-image-1-ocr", "page-2-ocr"]),
    ("force", ["page-1-image-1-ocr", "page-1-ocr", "page-2-image-1-ocr", "page-2-ocr"]),
    ("true", ["page-1-image-1-ocr", "page-1-ocr", "page-2-image-1-ocr", "page-2-ocr"]),
])
def test_ocr_modes(document, ocr, ids):
    assert [r["id"] for r in document.ocr_requests(ocr)] == ids
    assert [r["id"] for r in document.llm_document(ocr=ocr)["ocr_requests"]] == ids


@pytest.mark.parametrize("call, error, message", [
    (lambda d: d.llm_document(ocr="ALWAYS"), ValueError, OCR_ERROR),
    (lambda d: d.llm_chunks(ocr="Auto"), ValueError, OCR_ERROR),
    (lambda d: d.ocr_requests(""), ValueError, OCR_ERROR),
    (lambda d: d.ocr_requests(ocr=None), TypeError, "'ocr' must be str"),
    (lambda d: d.llm_document(1), TypeError, "'include_text' must be bool"),
    (lambda d: d.llm_chunks(include_annotations=None), TypeError, "'include_annotations' must be bool"),
    # Arguments are converted in order: the bad flag is reported before the bad mode.
    (lambda d: d.llm_document(True, "no", ocr="bad"), TypeError, "'include_images' must be bool"),
    (lambda d: d.llm_document(True, True, True, True, "auto", True), TypeError, "at most 5 arguments"),
    (lambda d: d.page_chunks(include_fonts=1), TypeError, "'include_fonts' must be bool"),
    (lambda d: d.page_chunks(False, "yes"), TypeError, "'include_images' must be bool"),
    (lambda d: d.to_markdown(False), TypeError, "takes no arguments"),
])
def test_argument_rules(document, call, error, message):
    with pytest.raises(error, match=message):
        call(document)


def test_ocr_is_parsed_before_the_document_is_read():
    broken = Document(page_tree_pdf("", ["<< /Type /Page /Parent 2 0 R /Contents 9 0 R >>"]))
    with pytest.raises(ValueError, match="^dangling reference"):
        broken.llm_document()
    with pytest.raises(ValueError, match=OCR_ERROR):
        broken.llm_document(ocr="sometimes")


def test_image_listing_bound_ends_the_llm_document():
    document = Document(shared_forms_pdf(40))
    for call in (document.llm_document, document.ocr_requests, lambda: document.page_chunks(include_images=True)):
        with pytest.raises(ValueError, match="^type mismatch in page /Resources /XObject: expected resource tree of "
                                             "bounded size$"):
            call()
    assert len(document.llm_document(include_images=False)["pages"]) == 2


def test_page_chunks(document):
    metadata = document.metadata()
    chunks = document.page_chunks()
    assert ordered(chunks) == ordered([
        {"page_index": 0, "page_number": 1, "page_label": "A", "page_id": "3 0 R", "text": "Hello",
         "metadata": metadata},
        {"page_index": 1, "page_number": 2, "page_label": "B", "page_id": "4 0 R", "text": "", "metadata": metadata}])
    full = document.page_chunks(include_fonts=True, include_images=True)
    assert [list(chunk)[-2:] for chunk in full] == [["fonts", "images"]] * 2
    assert [chunk["images"] for chunk in full] == [document.images()[:1], document.images()[1:]]
    assert [chunk["fonts"] for chunk in full] == [[], []]
    assert "fonts" not in document.page_chunks(include_images=True)[0]


def test_fonts_of_page_chunks():
    document = Document(text_pdf(["a", "b"]))
    assert [chunk["fonts"] for chunk in document.page_chunks(True)] == \
        [[f for f in document.fonts() if f["page_index"] == i] for i in range(2)]


def test_markdown_of_a_written_file():
    data = write_text_pdf(["Title page\n\n", "  | a table? |\nReferences\n[1] Someone, Some Book, 1999."],
                          title=" My | Notes ", author="Ada\nLovelace")
    assert Document(data).to_markdown() == (
        "# My | Notes\n\n"
        "## Metadata\n\n"
        "| Field | Value |\n| --- | --- |\n"
        "|Author|Ada<br>Lovelace|\n"
        "|Producer|quarvel|\n"
        "|Format|PDF 1.7|\n\n"
        "## Page 1\n\n"
        "Title page\n\n"
        "## Page 2\n\n"
        "| a table? |\nReferences\n[1] Someone, Some Book, 1999.\n\n"
        "## Extracted References\n\n"
        "References\n[1] Someone, Some Book, 1999.\n")
