"""Markdown, the LLM document and page chunks over the clean corpus files: each succeeds
wherever the page text does, carries that text, and asks for OCR where the policy says."""

import re

import pytest

import quarvel
from conftest import corpus_dir
from test_corpus import manifest

CORPUS = corpus_dir()
ROWS = {row["file"]: row for row in manifest() if not row["file"].startswith("broken/")}

# Files whose page text succeeds but whose export is refused, by the rule that applies.
EXPECTED_ERRORS = {
    # The metadata is read first, and its XMP stream goes through the Crypt filter, which
    # is refused; a metadata error ends every export.
    "qpdf/nontrivial-crypt-filter.pdf": "failed to decode /Crypt stream: filter is not supported yet",
}
# Every file of images without text (text_chars 0 in the manifest) that gets requests,
# and those requests: one per page, however many images it has.
SCANNED = {
    "pypdf-samples/grayscale-image.pdf": ["page-1-ocr"],
    "pypdf-samples/imagemagick-lzw.pdf": ["page-1-ocr"],
    "pdfjs/issue5549.pdf": ["page-1-ocr"],
    "texlive/BurgWave.pdf": ["page-1-ocr"],
    "qpdf/large-inline-image-ii-some.pdf": ["page-1-ocr"],  # three images
    # Text shown above the page box, which pdftotext clips and the page text keeps, makes
    # these pages pages with text: their images are asked for instead (pages 1-3 and 6).
    "pypdf-samples/imagemagick-images.pdf": ["page-1-image-1-ocr", "page-2-image-1-ocr", "page-3-image-1-ocr",
                                             "page-4-ocr", "page-5-ocr", "page-6-image-1-ocr"],
    "pdfjs/issue19326.pdf": ["page-1-image-1-ocr"],
}
# Unicode White_Space, the set the exports trim.
BLANK = re.compile("^[\t\n\v\f\r \x85\xa0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]*$")


def expected_requests(page_index: int, text: str, images: int) -> list[str]:
    """The ids of the requests ocr="auto" makes for one page."""
    if not BLANK.match(text):
        return [f"page-{page_index + 1}-image-{k}-ocr" for k in range(1, images + 1)]
    return [f"page-{page_index + 1}-ocr"] if images else []


def exports(document: quarvel.Document) -> tuple[str, dict, list] | str:
    try:
        return document.to_markdown(), document.llm_document(), document.page_chunks()
    except ValueError as error:
        return str(error)


@pytest.mark.skipif(not ROWS, reason="corpus not available")
def test_exports_follow_the_page_text():
    problems, exported, scanned, image_requests = [], 0, {}, 0
    for name, row in ROWS.items():
        try:
            document = quarvel.Document.open(str(CORPUS / name))
            texts = document.page_texts()
        except ValueError:
            continue  # the text sweep judges these; nothing more is promised
        result = exports(document)
        if name in EXPECTED_ERRORS or isinstance(result, str):
            if result != EXPECTED_ERRORS.get(name):
                problems.append(f"{name}: {result if isinstance(result, str) else 'succeeds'}, expected "
                                f"{EXPECTED_ERRORS.get(name, 'success')}")
            continue
        exported += 1
        markdown, llm, chunks = result
        if [page["text"] for page in llm["pages"]] != texts or [chunk["text"] for chunk in chunks] != texts:
            problems.append(f"{name}: the exported text differs from the page text")
        if markdown.count("\n## Page ") + markdown.startswith("## Page ") != len(texts):
            problems.append(f"{name}: not one Markdown heading per page")
        requests = [request["id"] for request in llm["ocr_requests"]]
        expected = []
        for i, text in enumerate(texts):
            expected += expected_requests(i, text, len(document.page_images(i)))
        image_requests += sum(request["target"] == "image" for request in llm["ocr_requests"])
        if requests != expected:
            problems.append(f"{name}: OCR requests {requests[:6]} ..., expected {expected[:6]} ...")
        if row["text_chars"] == "0" and requests:
            scanned[name] = requests
    assert not problems, "\n".join(problems)
    assert exported > 100 and image_requests > 0
    assert scanned == SCANNED
