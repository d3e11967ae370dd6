import zlib

import pytest

from conftest import PdfBuilder
from quarvel import Document


def navigation_pdf(catalog: str = "", objects: dict[int, str | tuple[str, bytes]] | None = None,
                   page: str = "") -> bytes:
    """A one-page document (page 3) with `catalog` entries and extra objects from 10 on."""
    b = PdfBuilder().add(1, f"<< /Type /Catalog /Pages 2 0 R {catalog} >>")
    b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>").add(3, f"<< /Type /Page /Parent 2 0 R {page} >>")
    for number, body in (objects or {}).items():
        b.add_stream(number, *body) if isinstance(body, tuple) else b.add(number, body)
    return b.build()


FULL = navigation_pdf(
    "/Outlines 10 0 R /PageLabels << /Nums [0 << /P (p-) /S /r /St 4 >>] >> /Dests << /old [3 0 R /Fit] >> "
    "/Names << /Dests << /Names [(intro) 14 0 R] >> /EmbeddedFiles << /Names [(notes.txt) 15 0 R] >> >> "
    "/AcroForm << /Fields [17 0 R] >>",
    {10: "<< /First 11 0 R >>", 11: "<< /Title 13 0 R /First 12 0 R /Dest [3 0 R /XYZ 0 792 null] >>",
     12: "<< /Title (Fran\xe7ais) /A << /S /URI /URI (http://x.org) >> >>", 13: "<FEFF0031>",
     14: "<< /D [3 0 R /FitH 700] >>", 15: "<< /Type /Filespec /UF (notes.txt) /Desc (Notes) /EF << /F 16 0 R >> >>",
     16: ("<< /Type /EmbeddedFile /Subtype /text#2Fplain /Params << /Size 5 >> /Filter /FlateDecode >>",
          zlib.compress(b"hello")),
     17: "<< /T (name) /FT /Tx /V (Ada) /Ff 2 /Kids [18 0 R] >>", 18: "<< /Type /Annot /Subtype /Widget >>",
     19: "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /A << /S /URI /URI (http://a.org) >> >>"},
    "/Annots [19 0 R << /Subtype /Text /Rect [1 2 3] /Contents (note) >> << /Subtype /Link /Dest (intro) >>]")


def test_result_dicts():
    document = Document(FULL)
    expected = {
        "page_labels": ["p-iv"],
        "outlines": [{"id": "11 0 R", "title": "1", "destination": "[3 0 R /XYZ 0 792 null]", "action": None,
                      "children": [{"id": "12 0 R", "title": "Fran\u00e7ais", "destination": None,
                                    "action": "<< /S /URI /URI (http://x.org) >>", "children": []}]}],
        "named_destinations": {"intro": "[3 0 R /FitH 700]", "old": "[3 0 R /Fit]"},
        "page_annotations": [{"id": "19 0 R", "subtype": "Link", "rect": [0.0, 0.0, 10.0, 10.0], "contents": None},
                             {"id": None, "subtype": "Text", "rect": None, "contents": "note"},
                             {"id": None, "subtype": "Link", "rect": None, "contents": None}],
        "page_links": [{"annotation_id": "19 0 R", "rect": [0.0, 0.0, 10.0, 10.0], "kind": "uri",
                        "target": "http://a.org"},
                       {"annotation_id": None, "rect": None, "kind": "named", "target": "intro"}],
        "embedded_files": [{"name": "notes.txt", "file_name": "notes.txt", "description": "Notes",
                            "subtype": "text/plain", "declared_size": 5}],
        "form_fields": [{"id": "17 0 R", "name": "name", "full_name": "name", "alternate_name": None,
                         "mapping_name": None, "field_type": "Text", "value": "(Ada)", "default_value": None,
                         "flags": 2, "widgets": ["18 0 R"]}],
    }
    for method, value in expected.items():
        result = getattr(document, method)(*((0,) if method in ("page_annotations", "page_links") else ()))
        assert result == value, method
        # Keys come in the specified order, nested dicts included.
        pairs = [(result, value)]
        while pairs:
            got, want = pairs.pop()
            if isinstance(want, dict):
                assert list(got) == list(want), method
                pairs += [(got[k], want[k]) for k in want]
            elif isinstance(want, list):
                pairs += zip(got, want)
    assert document.page_links(index=0) == expected["page_links"]
    data = document.embedded_files(include_data=True)[0]
    assert list(data) == [*expected["embedded_files"][0], "data"] and data["data"] == b"hello"


def test_empty_document():
    document = Document(navigation_pdf())
    assert (document.page_labels(), document.outlines(), document.named_destinations(), document.embedded_files(),
            document.form_fields(), document.page_annotations(0), document.page_links(0)) == (["1"], [], {}, [], [],
                                                                                                [], [])


@pytest.mark.parametrize("method", ["page_annotations", "page_links"])
def test_page_index_rules(method):
    call = getattr(Document(FULL), method)
    with pytest.raises(ValueError, match="^page index out of range$"):
        call(1)
    with pytest.raises(OverflowError):
        call(-1)
    with pytest.raises(TypeError):
        call("0")
    with pytest.raises(TypeError):
        call()


def test_argument_types():
    with pytest.raises(TypeError):
        Document(FULL).embedded_files(include_data=1)
    with pytest.raises(TypeError):
        Document(FULL).outlines(1)


def test_deep_outline():
    depth = 1025  # the deepest outline read
    objects = {10: "<< /First 11 0 R >>"}
    objects.update({n: f"<< /Title (t{n}) /First {n + 1} 0 R >>" for n in range(11, 10 + depth)})
    objects[10 + depth] = "<< /Title (last) >>"
    item, levels = Document(navigation_pdf("/Outlines 10 0 R", objects)).outlines()[0], 1
    while item["children"]:
        item, levels = item["children"][0], levels + 1
    assert (item["title"], levels) == ("last", depth)


@pytest.mark.parametrize("catalog, objects, method, message", [
    ("/Outlines << /First 10 0 R >>", {10: "<< /Title (a) /Next 11 0 R >>", 11: "<< /Title (b) /Next 10 0 R >>"},
     "outlines", "outline tree contains a cycle at object 10 0"),
    ("/Outlines << /First 10 0 R >>", {10: "<< /Title 11 0 R >>"}, "outlines", "dangling reference to object 11 0"),
    ("/Names << /Dests 10 0 R >>", {10: "<< /Kids [11 0 R] >>", 11: "<< /Kids [10 0 R] >>"}, "named_destinations",
     "name tree contains a cycle at object 10 0"),
    ("/Names << /Dests << /Names [(a) 1] /Kids [] >> >>", {}, "named_destinations", None),
    ("/PageLabels << /Nums [1.0 << >>] >>", {}, "page_labels", "type mismatch in number tree key: expected integer"),
    ("/AcroForm << /Fields [10 0 R] >>", {10: "<< /T (a) /Kids [11 0 R] >>", 11: "<< /Kids [10 0 R] >>"},
     "form_fields", "form field tree contains a cycle at object 10 0"),
    ("/Names << /EmbeddedFiles << /Names [(a) << /EF << /F (x) >> >>] >> >>", {}, "embedded_files",
     "type mismatch in file specification /EF entry: expected indirect reference"),
])
def test_bad_input(catalog, objects, method, message):
    call = getattr(Document(navigation_pdf(catalog, objects)), method)
    if message is None:
        call()
    else:
        with pytest.raises(ValueError, match=f"^{message}$"):
            call()


def test_dests_holding_streams():
    data = navigation_pdf("/Dests 10 0 R", {10: "<< /s 11 0 R >>", 11: ("<< >>", b"[3 0 R /Fit]")})
    assert Document(data).named_destinations() == {
        "s": "<< /Length 12 >>\nstream\n<12 encoded bytes: [3 0 R /Fit]>\nendstream"}


def test_dangling_annotation():
    with pytest.raises(ValueError, match="^dangling reference to object 9 0$"):
        Document(navigation_pdf(page="/Annots [9 0 R]")).page_links(0)
