import io
import re

import pypdf
import pytest

from conftest import PdfBuilder, text_pdf
from pdf_builder import append_update, startxref
from quarvel import Document, write_text_pdf

RECT = [72, 700.5, 144.25, 720]
EVERY_CHARACTER = "".join(map(chr, range(256))) + "\u20ac\u4e2d\U0001f600"


def newest(data: bytes, key: str) -> str:
    """The text of `key` in the highest-numbered object: the one an edit added."""
    document = Document(data)
    text = document.object_text(max(o["number"] for o in document.objects()))
    return re.search(rf"/{key} \((.*)\) (>>|/Rect)", text, re.S)[1]


def test_edits_read_back():
    fields = ["title", "author", "subject", "keywords", "creator", "producer"]
    values = {name: f"{name} {EVERY_CHARACTER} (\\)" for name in fields}
    out = Document(text_pdf(["x"])).with_metadata(**values)
    assert {name: Document(out).metadata()[name] for name in fields} == values
    assert pypdf.PdfReader(io.BytesIO(out)).metadata.title == values["title"]

    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>").add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    source = b.add(3, "<< /Type /Page /Parent 2 0 R /Annots [4 0 R] >>").add(4, "<< /Subtype /Square >>").build()
    note = Document(source).with_text_annotation(0, RECT, EVERY_CHARACTER)
    assert note.startswith(source) and newest(note, "Contents") == EVERY_CHARACTER
    large = "line (one) \\ caf\u00e9\r\n" * 500_000  # 10 MB
    assert newest(Document(source).with_text_annotation(0, RECT, large), "Contents") == large
    # Fed back, the next update chains: the next number, the previous table.
    link = Document(note).with_uri_link(0, tuple(RECT), EVERY_CHARACTER)
    assert newest(link, "URI") == EVERY_CHARACTER
    assert link.endswith(b" /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (startxref(note), link.rindex(b"\nxref\n") + 1))
    annotations = [a.get_object() for a in pypdf.PdfReader(io.BytesIO(link)).pages[0]["/Annots"]]
    assert [a.indirect_reference.idnum for a in annotations] == [4, 5, 6]
    assert annotations[1]["/Contents"] == EVERY_CHARACTER and annotations[1]["/Rect"] == RECT


@pytest.mark.parametrize("call, error, message", [
    (lambda d: d.with_uri_link(0, [1, 2, 3], "u"), ValueError, "rect must contain exactly four numbers"),
    (lambda d: d.with_uri_link(0, "1234", "u"), TypeError, "argument 'rect'"),
    (lambda d: d.with_uri_link(0, [1, 2, "3", 4], "u"), TypeError, "argument 'rect' item 2 must be a number"),
    (lambda d: d.with_text_annotation(-1, [1, 2, 3, 4], "u"), OverflowError, "page_index"),
    # The rectangle's values are the edit's business, after the source is fetched.
    (lambda d: d.with_text_annotation(0, [float("nan"), 0, 1, 1], "x"), ValueError, "failed to read "),
    (lambda d: d.with_metadata(), ValueError, "failed to read "),
])
def test_arguments_before_the_source(call, error, message, tmp_path, hello_pdf):
    path = tmp_path / "a.pdf"
    path.write_bytes(hello_pdf)
    document = Document.open_mmap(str(path))
    path.unlink()
    with pytest.raises(error, match=re.escape(message)):
        call(document)


class ClaimsBillions:
    """A sequence whose __len__ claims 2**33 items and which holds one."""

    def __init__(self, item):
        self.item = item

    def __len__(self):
        return 1 << 33

    def __getitem__(self, index):
        if index:
            raise IndexError(index)
        return self.item


@pytest.mark.parametrize("call, error", [
    (lambda d: d.with_uri_link(0, ClaimsBillions(1.0), "u"), ValueError),
    (lambda d: write_text_pdf(ClaimsBillions("page")), IndexError),
])
def test_claimed_lengths_reserve_nothing(call, error, hello_pdf):
    with pytest.raises(error):
        call(Document(hello_pdf))


@pytest.mark.parametrize("source, call, message", [
    (text_pdf(["a", "b"]), lambda d: d.with_uri_link(2, RECT, "u"), "type mismatch in page index: expected existing page"),
    (text_pdf(["a"]), lambda d: d.with_uri_link(0, [0, 0, float("-inf"), 1], "x"),
     "type mismatch in annotation rect: expected finite numbers"),
    (append_update(text_pdf(["a"]), {}, "/Size 12 /Root 1 0 R /Encrypt << /Filter /Standard >>"),
     lambda d: d.with_metadata(title="t"), "type mismatch in trailer /Encrypt: expected unencrypted document"),
])
def test_refused(source, call, message):
    with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
        call(Document(source))


def test_catalog_stream_and_file_identifier():
    b = PdfBuilder().add_stream(1, "<< /Type /Catalog /Pages 2 0 R >>", b"")
    b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>").add(3, "<< /Type /Page /Parent 2 0 R >>")
    source = append_update(b.build(), {4: "null"}, "/Size 5 /Root 1 0 R /ID [<0A0B> (cd)]")
    out = Document(source).with_uri_link(0, RECT, "u")
    assert newest(out, "URI") == "u" and b"/Root 1 0 R /ID [<0A0B> (cd)] /Prev" in out
