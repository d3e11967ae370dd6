"""Writes the PDF fixtures of the C++ tests, `make_fixtures.py OUT_DIR`: small files, most
with one deliberate property or defect that the loader must handle."""

from __future__ import annotations

import pathlib
import struct
import sys
import zlib

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from pdf_builder import PdfBuilder, append_update, startxref, stream_object, text_pdf  # noqa: E402


def minimal() -> PdfBuilder:
    return PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>").add(2, "<< /Type /Pages /Kids [] /Count 0 >>")


def over_minimal(objects: dict[int, str | tuple[str, bytes]]) -> bytes:
    """minimal() with objects added or replaced; a (dictionary, data) pair is a stream."""
    b = minimal()
    for number, body in objects.items():
        b.add_stream(number, *body) if isinstance(body, tuple) else b.add(number, body)
    return b.build()


def chain(first: int, last: int, body: str) -> dict[int, str]:
    """Objects first..last-1, each `body` formatted with the next number."""
    return {n: body.format(n + 1) for n in range(first, last)}


def raw_xref(dictionary: str, rows=lambda offsets: b"") -> bytes:
    """The two objects of minimal() and a cross-reference stream holding exactly `rows` (unfiltered)."""
    out, offsets = bytearray(b"%PDF-1.5\n"), []
    for number, body in minimal().objects.items():
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    start = len(out)
    out += b"3 0 obj\n" + stream_object(f"<< /Type /XRef /Root 1 0 R {dictionary} >>", rows(offsets))
    return bytes(out + b"\nendobj\nstartxref\n%d\n%%%%EOF\n" % start)


def w121(*rows: tuple[int, int, int]) -> bytes:
    return b"".join(struct.pack(">BHB", *row) for row in rows)


def objstm(dictionary: str, data: bytes | None, index: int = 0, owner: int = 3) -> bytes:
    """Object 4 is entry `index` of object stream `owner`; object 3 is the given stream (or object)."""
    body = dictionary if data is None else stream_object(dictionary, data)
    return minimal().add(3, body).place(4, owner, index).build(xref="stream")


def nested_objects(depth: int = 64) -> bytes:
    """Object 3 holds objects 4, 5, ... nested in its string, each listed by an update
    section: honest-looking entries that would read the same bytes depth times."""
    body = "null"
    for number in range(3 + depth - 1, 3, -1):
        body = f"({'x' * 1000} {number} 0 obj {body} endobj)"
    base = over_minimal({3: body})
    rows = b"".join(b"%010d 00000 n \n" % (base.index(b"x %d 0 obj" % n) + 2) for n in range(4, 3 + depth))
    start = len(base)
    return base + (b"xref\n4 %d\n" % (depth - 1) + rows + b"trailer\n<< /Size %d /Root 1 0 R /Prev %d >>\n"
                   b"startxref\n%d\n%%%%EOF\n" % (3 + depth, startxref(base), start))


ROOT = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"
# Fixture name -> the objects added to or replacing those of minimal().
OBJECTS = {
    "catalog_version_14": {1: "<< /Type /Catalog /Pages 2 0 R /Version /1.4 >>"},
    "catalog_version_110": {1: "<< /Type /Catalog /Pages 2 0 R /Version /1.10 >>"},
    "catalog_version_number": {1: "<< /Type /Catalog /Pages 2 0 R /Version 1.4 >>"},
    "deep_nesting": {3: "[" * 10000 + "]" * 10000},
    "inspect_dump": {2: "<< >>", 3: ("<< /N 1 >>", b"A\r\nB")},
    # Root attributes, an untyped node overriding two of them (with Kids behind a
    # reference), a page stored as a stream, a kid listed twice, and Count 7.
    "page_tree": {
        2: "<< /Type /Pages /Kids [3 0 R 4 0 R 4 0 R] /Count 7 /MediaBox [0 0 612 792] /Resources 20 0 R /Rotate 90 >>",
        3: "<< /Parent 2 0 R /Kids 6 0 R /MediaBox [0 0 100 100] /CropBox [1 1 99 99] >>",
        4: "<< /Type /Page /Parent 2 0 R /Contents 12 0 R /Annots [] >>",
        5: "<< /Type /Page /Parent 3 0 R /Resources << /Font << /F9 8 0 R >> >> /Contents [9 0 R [10 0 R 11 0 R]] >>",
        6: "[5 0 R 7 0 R]", 7: ("<< /Type /Page /Parent 3 0 R /Contents 9 0 R >>", b""),
        8: "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        9: ("<< >>", b"q Q"), 10: ("<< >>", b"q Q"), 11: ("<< >>", b"q Q"), 12: "<< /Foo 1 >>", 13: "[13 0 R]",
        14: "[9 0 R 15 0 R]", 15: "[10 0 R 14 0 R]", 16: "[9 0 R 9 0 R 17 0 R 17 0 R]", 17: "[10 0 R]",
        18: "(not resources)", 19: ("<< /ProcSet [/PDF] >>", b""), 20: "<< /ProcSet [/PDF /Text] >>",
    },
    "page_tree_cycle_to_root": {2: ROOT, 3: "<< /Type /Pages /Kids [4 0 R 2 0 R] >>", 4: "<< /Type /Page >>"},
    "page_tree_leaf_without_type": {2: ROOT, 3: "<< /MediaBox [0 0 1 1] >>"},
    "page_tree_direct_root": {1: "<< /Type /Catalog /Pages << /Type /Pages /Kids [] /Count 2 >> >>"},
    "page_tree_no_pages": {1: "<< /Type /Catalog >>"},
    "page_tree_bad_type": {2: ROOT, 3: "<< /Type /Pagez /Kids [] >>"},
    "page_tree_kids_not_array": {2: "<< /Type /Pages /Kids 3 0 R /Count 1 >>", 3: "<< /Type /Page >>"},
    "page_tree_dangling_kid": {2: "<< /Type /Pages /Kids [9 0 R] /Count 1 >>"},
    "page_tree_kid_not_reference": {2: "<< /Type /Pages /Kids [3] /Count 1 >>"},
    "page_tree_node_not_dictionary": {2: ROOT, 3: "[]"},
    "page_tree_negative_count": {2: "<< /Type /Pages /Kids [] /Count -1 >>"},
    "page_tree_no_count": {2: "<< /Type /Pages /Kids [] >>"},
    "page_tree_too_deep": {2: ROOT, **chain(3, 1100, "<< /Kids [{0} 0 R] >>"), 1100: "<< /Type /Page >>"},
    # The page at the deepest level walked (1024 nodes from the root), and one below it.
    "page_tree_deepest": {2: ROOT, **chain(3, 1025, "<< /Kids [{0} 0 R] >>"), 1025: "<< /Type /Page >>"},
    "page_tree_one_too_deep": {2: ROOT, **chain(3, 1026, "<< /Kids [{0} 0 R] >>"), 1026: "<< /Type /Page >>"},
    # Every level lists the next one twice: 2^64 pages if walked naively.
    "page_tree_shared_blowup": {2: ROOT, **chain(3, 67, "<< /Kids [{0} 0 R {0} 0 R] >>"), 67: "<< /Type /Page >>"},
    "contents_shared_blowup": {2: ROOT, 3: "<< /Type /Page /Contents 4 0 R >>", **chain(4, 68, "[{0} 0 R {0} 0 R]"),
                               68: ("<< >>", b"")},
}
# Damage to an otherwise valid minimal file.
MUTATIONS = {
    "prev_loop": lambda b: b.replace(b"/Size 3", b"/Size 3 /Prev %d" % startxref(b)),
    "free_generation_65536": lambda b: b.replace(b"65535 f", b"65536 f"),
    "in_use_generation_65536": lambda b: b.replace(b" 00000 n", b" 65536 n", 1),
    "in_use_generation_string": lambda b: b.replace(b" 00000 n", b" (000) n", 1),
    "bad_entry_keyword": lambda b: b.replace(b" 00000 n", b" 00000 x", 1),
    "wrong_object_number": lambda b: b.replace(b"\n2 0 obj", b"\n3 0 obj"),
    "leading_space": lambda b: b" " + b,
    "bad_startxref": lambda b: b[:b.rindex(b"startxref")] + b"startxref\nabc\n%%EOF\n",
}
XREF_STREAMS = {
    "xref_w_121": ("/Size 3 /W [1 2 1]", lambda o: w121((0, 0, 255), *((1, x, 0) for x in o))),
    "xref_w_020": ("/Size 3 /Index [1 2] /W [0 2 0]", lambda o: b"".join(struct.pack(">H", x) for x in o)),
    "xref_type_3": ("/Size 1 /W [1 2 1]", lambda o: w121((3, 0, 0))),
    "xref_short_data": ("/Size 2 /W [1 2 1]", lambda o: w121((0, 0, 0))),
    "xref_huge_index": ("/Size 2 /Index [0 4294967295 0 4294967295] /W [1 2 1]", lambda o: w121((0, 0, 0))),
    "xref_wide_field_no_entries": ("/Size 0 /W [1 9 1]",),
    "xref_missing_w": ("/Size 1",),
    "xref_w_not_array": ("/Size 1 /W 5",),
    "xref_w_negative": ("/Size 1 /W [1 -1 1]",),
    "xref_index_not_array": ("/Size 1 /Index 5 /W [1 2 1]",),
    "xref_odd_index": ("/Size 1 /Index [0] /W [1 2 1]",),
    # Three hundred bytes of Flate that would list more entries than the file has bytes.
    "xref_entries_beyond_file": ("/Size 200000 /W [1 0 0] /Filter /FlateDecode", lambda o: zlib.compress(bytes(200000))),
}
OBJECT_STREAMS = {
    # The header lists 7 then 8; entry (8, index 1) takes the object at First + 15.
    "objstm_index_not_number": ("<< /Type /ObjStm /N 2 /First 9 >>", b"7 0 8 15 (seven)        (eight)", 1),
    "objstm_missing_owner": ("<< /Type /ObjStm /N 1 /First 4 >>", b"4 0 (x)", 0, 9),
    "objstm_wrong_type": ("<< /Type /XRef /N 1 /First 4 >>", b"4 0 (x)"),
    "objstm_owner_not_stream": ("<< /Type /ObjStm /N 1 /First 4 >>", None),
    "objstm_first_at_end": ("<< /Type /ObjStm /N 1 /First 4 >>", b"4 0 "),
    "objstm_first_beyond": ("<< /Type /ObjStm /N 1 /First 5 >>", b"4 0 "),
    "objstm_huge_n": ("<< /Type /ObjStm /N 4000000000 /First 4 >>", b"4 0 (x)"),
    "objstm_index_beyond_n": ("<< /Type /ObjStm /N 1 /First 4 >>", b"4 0 (x)", 1),
}


def fixtures() -> dict[str, bytes]:
    out = {
        "classic": text_pdf(["Hello", "World"], info={"Title": "T"}),
        "xref_stream_objstm": text_pdf(["Hello", "World"], compress_objects=True, info={"Title": "T"}),
        # The update replaces the info dictionary and drops /Info from the newest trailer.
        "incremental_update": append_update(text_pdf(["Hello"], info={"Title": "Old"}), {4: "<< /Title (New) >>"},
                                            "/Size 12 /Root 1 0 R"),
        "two_generations": append_update(minimal().add(5, "(gen0)").build(), {5: "(gen1)"}, "/Size 6 /Root 1 0 R", 1),
    }
    out.update({name: over_minimal(objects) for name, objects in OBJECTS.items()})
    out.update({name: damage(minimal().build()) for name, damage in MUTATIONS.items()})
    out.update({name: raw_xref(*args) for name, args in XREF_STREAMS.items()})
    out.update({name: objstm(*args) for name, args in OBJECT_STREAMS.items()})
    out["nested_objects"] = nested_objects()
    return out


if __name__ == "__main__":
    directory = pathlib.Path(sys.argv[1])
    directory.mkdir(parents=True, exist_ok=True)
    for name, data in fixtures().items():
        (directory / f"{name}.pdf").write_bytes(data)
