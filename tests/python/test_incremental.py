import io
import re

import pypdf
import pytest

from conftest import PdfBuilder, page_tree_pdf, text_pdf
from pdf_builder import append_update
from quarvel import Document

RECT = [72, 700.5, 144.25, 720]
EVERY_CHARACTER = "".join(map(chr, range(256))) + "\u20ac\u4e2d\U0001f600"


def newest(data: bytes) -> str:
    """Object text of the highest-numbered object: the one an edit added."""
    document = Document(data)
    return document.object_text(max(o["number"] for o in document.objects()))


def pypdf_page(data: bytes, index: int = 0):
    return pypdf.PdfReader(io.BytesIO(data)).pages[index]


def note_text(data: bytes) -> str:
    return re.fullmatch(r"<< /Contents \((.*)\) /Rect \[72 700.5 144.25 720\] /Subtype /Text /Type /Annot >>",
                        newest(data), re.S)[1]


def link_uri(data: bytes) -> str:
    return re.fullmatch(r"<< /A << /S /URI /URI \((.*)\) >> /Rect \[72 700.5 144.25 720\] /Subtype /Link "
                        r"/Type /Annot >>", newest(data), re.S)[1]


def info_pdf(info: str, trailer: str = "") -> bytes:
    base = text_pdf(["x"])
    return append_update(base, {20: info}, f"/Size 21 /Root 1 0 R /Info 20 0 R {trailer}")


def test_with_metadata_keeps_other_entries():
    source = info_pdf("<< /Title (A) /Producer (B) /Author (Ann) /CreationDate (D:2020) /Trapped /True /Zeta 1 0 R >>")
    out = Document(source).with_metadata(subject="S")
    assert isinstance(out, bytes) and out.startswith(source)
    m = Document(out).metadata()
    assert (m["title"], m["author"], m["subject"], m["producer"]) == ("A", "Ann", "S", "quarvel")
    assert (m["creation_date"], m["trapped"]) == ("D:2020", "True")
    assert newest(out).endswith("/Zeta 1 0 R >>")
    removed = Document(Document(out).with_metadata(title="", author=" ", producer="P")).metadata()
    assert (removed["title"], removed["author"], removed["producer"]) == ("", "", "P")


def test_text_in_every_field_reads_back():
    fields = ["title", "author", "subject", "keywords", "creator", "producer"]
    values = {name: f"{name} {EVERY_CHARACTER} (\\)" for name in fields}
    out = Document(text_pdf(["x"])).with_metadata(**values)
    m = Document(out).metadata()
    assert {name: m[name] for name in fields} == values
    info = pypdf.PdfReader(io.BytesIO(out)).metadata
    assert (info.title, info.author, info.producer) == (values["title"], values["author"], values["producer"])

    document = Document(text_pdf(["x"]))
    note = document.with_text_annotation(0, RECT, EVERY_CHARACTER)
    assert note_text(note) == EVERY_CHARACTER
    assert pypdf_page(note)["/Annots"][-1].get_object()["/Contents"] == EVERY_CHARACTER
    assert link_uri(document.with_uri_link(0, RECT, EVERY_CHARACTER)) == EVERY_CHARACTER


def test_annotation_and_link_on_page_with_annotations():
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>").add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    b.add(3, "<< /Type /Page /Parent 2 0 R /Annots [4 0 R] >>").add(4, "<< /Type /Annot /Subtype /Square >>")
    source = b.build()
    document = Document(source)
    note = document.with_text_annotation(0, RECT, "Review (this)")
    link = document.with_uri_link(0, tuple(RECT), "https://example.com/?q=(a)")
    for out in (note, link):
        assert out.startswith(source)
        assert [a.idnum for a in pypdf_page(out)["/Annots"]] == [4, 5]
    assert note_text(note) == "Review (this)"
    assert link_uri(link) == "https://example.com/?q=(a)"
    assert pypdf_page(link)["/Annots"][-1].get_object()["/A"]["/URI"] == "https://example.com/?q=(a)"
    # Fed back, updates chain: the next object number and the previous table.
    again = Document(note).with_uri_link(0, RECT, "u")
    assert [a.idnum for a in pypdf_page(again)["/Annots"]] == [4, 5, 6]
    assert again.endswith(b"/Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (
        int(note.split(b"startxref\n")[-1].split()[0]), again.rindex(b"\nxref\n") + 1))


def test_large_note():
    text = "line (one) \\ caf\u00e9\r\n" * 500_000  # 10 MB
    out = Document(text_pdf(["x"])).with_text_annotation(0, RECT, text)
    assert note_text(out) == text


@pytest.mark.parametrize("call, error, message", [
    (lambda d: d.with_uri_link(0, [1, 2, 3], "u"), ValueError, "rect must contain exactly four numbers"),
    (lambda d: d.with_text_annotation(0, [1, 2, 3, 4, 5], "u"), ValueError, "rect must contain exactly four numbers"),
    (lambda d: d.with_uri_link(0, "1234", "u"), TypeError, "argument 'rect'"),
    (lambda d: d.with_uri_link(0, [1, 2, "3", 4], "u"), TypeError, "argument 'rect' item 2 must be a number"),
    (lambda d: d.with_uri_link(0, [1, 2, 3, 4], b"u"), TypeError, "argument 'uri'"),
    (lambda d: d.with_text_annotation(-1, [1, 2, 3, 4], "u"), OverflowError, "page_index"),
    (lambda d: d.with_metadata(title=1), TypeError, "argument 'title'"),
])
def test_arguments_checked_before_the_source_is_read(call, error, message, tmp_path, hello_pdf):
    path = tmp_path / "a.pdf"
    path.write_bytes(hello_pdf)
    document = Document.open_mmap(str(path))
    path.unlink()
    with pytest.raises(error, match=re.escape(message)):
        call(document)
    # The rectangle's values are the edit's business, after the source is fetched.
    for edit in (lambda d: d.with_metadata(), lambda d: d.with_text_annotation(0, [float("nan"), 0, 1, 1], "x")):
        with pytest.raises(ValueError, match="^failed to read " + re.escape(str(path))):
            edit(document)


@pytest.mark.parametrize("source, call, message", [
    (text_pdf(["a", "b"]), lambda d: d.with_uri_link(2, RECT, "u"), "type mismatch in page index: expected existing page"),
    (text_pdf(["a"]), lambda d: d.with_text_annotation(0, [0, float("nan"), 1, 1], "x"),
     "type mismatch in annotation rect: expected finite numbers"),
    (text_pdf(["a"]), lambda d: d.with_uri_link(0, [0, 0, float("-inf"), 1], "x"),
     "type mismatch in annotation rect: expected finite numbers"),
    (page_tree_pdf(pages=["<< /Type /Page /Parent 2 0 R /Annots 9 0 R >>"]),
     lambda d: d.with_text_annotation(0, RECT, "x"), "dangling reference to object 9 0"),
    (page_tree_pdf(pages=["<< /Type /Page /Parent 2 0 R /Annots 12 >>"]),
     lambda d: d.with_uri_link(0, RECT, "x"), "type mismatch in page /Annots: expected array"),
    (append_update(text_pdf(["a"]), {}, "/Size 12 /Root 1 0 R /Encrypt << /Filter /Standard >>"),
     lambda d: d.with_metadata(title="t"), "type mismatch in trailer /Encrypt: expected unencrypted document"),
])
def test_refused(source, call, message):
    with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
        call(Document(source))


def test_trailer_id_and_stream_root():
    source = append_update(text_pdf(["a"]), {20: "null"}, "/Size 21 /Root 1 0 R /ID [<0A0B> <0C0D>]")
    out = Document(source).with_metadata(title="t")
    assert out.endswith(b" /Info 21 0 R /ID [<0A0B> <0C0D>] /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (
        int(source.split(b"startxref\n")[-1].split()[0]), out.rindex(b"\nxref\n") + 1))
    # A catalog stored as a stream is read through its dictionary and referred to as before.
    b = PdfBuilder().add_stream(1, "<< /Type /Catalog /Pages 2 0 R >>", b"")
    b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>").add(3, "<< /Type /Page /Parent 2 0 R >>")
    out = Document(b.build()).with_uri_link(0, RECT, "u")
    assert link_uri(out) == "u" and b"/Root 1 0 R /Prev" in out
