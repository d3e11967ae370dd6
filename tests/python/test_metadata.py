import zlib

import pytest

from conftest import PdfBuilder, text_pdf
from quarvel import Document

KEYS = ["format", "title", "author", "subject", "keywords", "creator", "producer", "creation_date",
        "modification_date", "trapped", "encrypted", "xmp", "custom"]


def info_pdf(info: str, catalog_extra: str = "", extra: dict[int, str | tuple[str, bytes]] | None = None,
             trailer_info: int = 4) -> bytes:
    b = PdfBuilder().add(1, f"<< /Type /Catalog /Pages 2 0 R {catalog_extra} >>")
    b.add(2, "<< /Type /Pages /Kids [] /Count 0 >>").add(4, info)
    for number, body in (extra or {}).items():
        b.add_stream(number, *body) if isinstance(body, tuple) else b.add(number, body)
    return b.build(info=trailer_info)


def test_metadata_dict():
    data = info_pdf("<< /Title (A Title) /Author 5 0 R /CreationDate (D:20240101) /Trapped /False "
                    "/Zeta (z) /Count 3 /Skip [1] >>", "/Version /1.6", {5: "(Ada)"})
    m = Document(data).metadata()
    assert list(m) == KEYS
    assert m == {"format": "PDF 1.6", "title": "A Title", "author": "Ada", "subject": "", "keywords": "",
                 "creator": "", "producer": "", "creation_date": "D:20240101", "modification_date": "",
                 "trapped": "False", "encrypted": False, "xmp": None, "custom": {"Count": "3", "Zeta": "z"}}
    assert Document(text_pdf(["x"])).metadata()["title"] == ""


def test_metadata_xml():
    xmp = b"\xef\xbb\xbf<x:xmpmeta>\xc3\xa9</x:xmpmeta>"
    data = info_pdf("<< >>", "/Metadata 5 0 R", {5: ("<< /Type /Metadata /Filter /FlateDecode >>", zlib.compress(xmp))})
    document = Document(data)
    assert document.metadata_xml() == "<x:xmpmeta>\u00e9</x:xmpmeta>"
    assert document.metadata()["xmp"] == document.metadata_xml()
    assert Document(text_pdf(["x"])).metadata_xml() is None


@pytest.mark.parametrize("data, message", [
    (info_pdf("<< >>", trailer_info=7), "dangling reference to object 7 0"),
    (info_pdf("[1 2]"), "type mismatch in trailer /Info: expected dictionary"),
    (info_pdf("<< >>", "/Metadata 4 0 R"), "type mismatch in catalog /Metadata: expected stream"),
])
def test_metadata_errors(data, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        Document(data).metadata()
