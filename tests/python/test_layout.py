import pytest

from conftest import PdfBuilder, text_pdf
from quarvel import Document


def rotated_pdf(rotate: int, crop: str = "") -> bytes:
    """One Helvetica page of two lines, its /Rotate and an optional /CropBox."""
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>").add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    b.add(3, f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] {crop} /Rotate {rotate} "
             "/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>")
    b.add(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    b.add_stream(5, "<< >>", b"BT /F1 12 Tf 20 150 Td (Hello World) Tj 0 -14 Td (again) Tj ET")
    return b.build()


def test_word_dicts_and_texts():
    document = Document(text_pdf(["Hello World", "Second page"]))
    words = document.page_words(0)
    assert [list(w) for w in words] == [["text", "bbox", "font", "size", "line"]] * 2
    hello = words[0]
    assert (hello["text"], hello["font"], hello["size"], hello["line"]) == ("Hello", "Helvetica", 12.0, 0)
    # Helvetica: H 722, e 556, l 222, o 556 units; the baseline is 72 points below the top.
    assert hello["bbox"] == pytest.approx([72, 792 - 720 - 0.718 * 12, 72 + 12 * 2.278, 792 - 720 + 0.207 * 12])
    assert document.page_layout_texts() == ["Hello World", "Second page"]
    assert document.layout_text() == "Hello World\nSecond page"
    assert document.page_layout_text(index=1) == "Second page"


def test_page_errors():
    document = Document(text_pdf(["a"]))
    for method in (document.page_words, document.page_layout_text):
        with pytest.raises(ValueError, match="^page index out of range$"):
            method(1)
        with pytest.raises(TypeError):
            method("0")
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>").add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    b.add(3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 << /Widths 3 >> >> >> /Contents 4 0 R >>")
    b.add_stream(4, "<< >>", b"BT /F1 12 Tf (a) Tj ET")
    broken = Document(b.build())
    assert broken.page_text(0) == "a"
    for call in (lambda: broken.page_words(0), broken.layout_text, broken.page_layout_texts):
        with pytest.raises(ValueError, match="^type mismatch in font /Widths: expected array$"):
            call()


def test_font_without_base_font_is_none():
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>").add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    b.add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>")
    b.add_stream(4, "<< >>", b"BT /F9 12 Tf (a b) Tj ET")
    assert [(w["text"], w["font"]) for w in Document(b.build()).page_words(0)] == [("a", None), ("b", None)]


@pytest.mark.parametrize("rotate", [0, 90, 180, 270])
@pytest.mark.parametrize("crop", ["", "/CropBox [10 20 290 180]"])
def test_rotation_and_crop_box_match_pymupdf(rotate, crop):
    pymupdf = pytest.importorskip("pymupdf")
    data = rotated_pdf(rotate, crop)
    ours = Document(data).page_words(0)
    with pymupdf.open(stream=data) as doc:
        theirs = doc[0].get_text("words")
    assert [w["text"] for w in ours] == [w[4] for w in theirs]
    assert [w["line"] for w in ours] == [0, 0, 1]
    for word, peer in zip(ours, theirs):
        # Both report the unrotated page. Horizontal extents agree exactly; vertical ones
        # follow each library's ascent, and the baseline lies between.
        assert [word["bbox"][0], word["bbox"][2]] == pytest.approx([peer[0], peer[2]], abs=0.01)
        assert peer[1] < word["bbox"][1] < word["bbox"][3] <= peer[3]
