"""Writes the PDF fixtures of the C++ tests: `make_fixtures.py OUT_DIR`.

Each fixture is a small file built with pdf_builder, usually with one deliberate
property or defect that the loader must handle.
"""

from __future__ import annotations

import pathlib
import struct
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from pdf_builder import PdfBuilder, append_update, flate, stream_object, text_pdf  # noqa: E402

FIXTURES: dict[str, bytes] = {}


def fixture(function):
    FIXTURES[function.__name__] = function()
    return function


def minimal() -> PdfBuilder:
    b = PdfBuilder()
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, "<< /Type /Pages /Kids [] /Count 0 >>")
    return b


def raw_xref_stream(objects: dict[int, bytes], dictionary: str, rows: bytes) -> bytes:
    """A file whose cross-reference stream holds exactly `rows` (unfiltered)."""
    out = bytearray(b"%PDF-1.5\n")
    offsets = {}
    for number, body in objects.items():
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    start = len(out)
    xref_number = max(objects, default=0) + 1
    out += b"%d 0 obj\n" % xref_number + stream_object(dictionary, rows) + b"\nendobj\n"
    out += b"startxref\n%d\n%%%%EOF\n" % start
    return bytes(out)


@fixture
def classic():
    return text_pdf(["Hello", "World"], info={"Title": "T"})


@fixture
def xref_stream_objstm():
    return text_pdf(["Hello", "World"], compress_objects=True, info={"Title": "T"})


@fixture
def incremental_update():
    base = text_pdf(["Hello"], info={"Title": "Old"})
    # The update replaces the info dictionary and drops /Info from the newest trailer.
    return append_update(base, {4: "<< /Title (New) >>"}, "/Size 12 /Root 1 0 R")


@fixture
def two_generations():
    base = minimal().add(5, "(gen0)").build()
    out = bytearray(base)
    prev = int(base[base.rindex(b"startxref") + 9:].split()[0])
    offset = len(out)
    out += b"5 1 obj\n(gen1)\nendobj\n"
    start = len(out)
    out += b"xref\n5 1\n%010d 00001 n \ntrailer\n<< /Size 6 /Root 1 0 R /Prev %d >>\n" % (offset, prev)
    out += b"startxref\n%d\n%%%%EOF\n" % start
    return bytes(out)


@fixture
def prev_loop():
    base = minimal().build()
    start = int(base[base.rindex(b"startxref") + 9:].split()[0])
    return base.replace(b"/Size 3", b"/Size 3 /Prev %d" % start)


@fixture
def free_generation_65536():
    return minimal().build().replace(b"0000000000 65535 f", b"0000000000 65536 f")


@fixture
def in_use_generation_65536():
    return minimal().build().replace(b" 00000 n", b" 65536 n", 1)


@fixture
def bad_entry_keyword():
    return minimal().build().replace(b" 00000 n", b" 00000 x", 1)


@fixture
def wrong_object_number():
    b = minimal().build()
    return b.replace(b"\n2 0 obj", b"\n3 0 obj")


@fixture
def leading_space():
    return b" " + minimal().build()


@fixture
def bad_startxref():
    b = minimal().build()
    return b[:b.rindex(b"startxref")] + b"startxref\nabc\n%%EOF\n"


@fixture
def objstm_index_not_number():
    # The header lists 7 then 8; entry (8, index 1) takes the object at First + 15.
    head = b"7 0 8 15 "
    body = b"(seven)        (eight)"
    data = head + body
    objects = {
        1: b"<< /Type /Catalog /Pages 2 0 R >>",
        2: b"<< /Type /Pages /Kids [] /Count 0 >>",
        3: stream_object(f"<< /Type /ObjStm /N 2 /First {len(head)} >>", data),
    }
    out = bytearray(b"%PDF-1.5\n")
    offsets = {}
    for number, body in objects.items():
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    rows = struct.pack(">BIH", 0, 0, 65535)
    for number in (1, 2, 3):
        rows += struct.pack(">BIH", 1, offsets[number], 0)
    rows += struct.pack(">BIH", 2, 3, 1)  # object 4 is index 1 of stream 3
    start = len(out)
    out += b"5 0 obj\n" + stream_object("<< /Type /XRef /Size 5 /W [1 4 2] /Root 1 0 R >>", rows)
    out += b"\nendobj\nstartxref\n%d\n%%%%EOF\n" % start
    return bytes(out)


def compressed_file(owner: bytes, index: int = 0) -> bytes:
    objects = {1: b"<< /Type /Catalog /Pages 2 0 R >>", 2: b"<< /Type /Pages /Kids [] /Count 0 >>", 3: owner}
    out = bytearray(b"%PDF-1.5\n")
    rows = struct.pack(">BIH", 0, 0, 65535)
    for number, body in objects.items():
        rows += struct.pack(">BIH", 1, len(out), 0)
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    rows += struct.pack(">BIH", 2, 3, index)
    start = len(out)
    out += b"5 0 obj\n" + stream_object("<< /Type /XRef /Size 5 /W [1 4 2] /Root 1 0 R >>", rows)
    out += b"\nendobj\nstartxref\n%d\n%%%%EOF\n" % start
    return bytes(out)


@fixture
def objstm_missing_owner():
    return compressed_file(b"(not used)").replace(b"\x02\x00\x00\x00\x03", b"\x02\x00\x00\x00\x09")


@fixture
def objstm_wrong_type():
    return compressed_file(stream_object("<< /Type /XRef /N 1 /First 4 >>", b"4 0 (x)"))


@fixture
def objstm_first_at_end():
    return compressed_file(stream_object("<< /Type /ObjStm /N 1 /First 4 >>", b"4 0 "))


@fixture
def objstm_first_beyond():
    return compressed_file(stream_object("<< /Type /ObjStm /N 1 /First 5 >>", b"4 0 "))


@fixture
def objstm_huge_n():
    return compressed_file(stream_object("<< /Type /ObjStm /N 4000000000 /First 4 >>", b"4 0 (x)"))


@fixture
def objstm_index_beyond_n():
    return compressed_file(stream_object("<< /Type /ObjStm /N 1 /First 4 >>", b"4 0 (x)"), index=1)


CATALOG = {1: b"<< /Type /Catalog /Pages 2 0 R >>", 2: b"<< /Type /Pages /Kids [] /Count 0 >>"}


def rows_for(widths: tuple[int, int, int], entries: list[tuple[int, int, int]]) -> bytes:
    out = b""
    for entry in entries:
        for width, value in zip(widths, entry):
            out += value.to_bytes(width, "big") if width else b""
    return out


@fixture
def xref_w_121():
    # Objects 1 and 2 sit at fixed offsets in raw_xref_stream's layout.
    offsets = [9, 9 + len(b"1 0 obj\n") + len(CATALOG[1]) + len(b"\nendobj\n")]
    rows = rows_for((1, 2, 1), [(0, 0, 255), (1, offsets[0], 0), (1, offsets[1], 0)])
    return raw_xref_stream(CATALOG, "<< /Type /XRef /Size 3 /W [1 2 1] /Root 1 0 R >>", rows)


@fixture
def xref_w_020():
    offsets = [9, 9 + len(b"1 0 obj\n") + len(CATALOG[1]) + len(b"\nendobj\n")]
    rows = rows_for((0, 2, 0), [(0, offsets[0], 0), (0, offsets[1], 0)])
    return raw_xref_stream(CATALOG, "<< /Type /XRef /Size 3 /Index [1 2] /W [0 2 0] /Root 1 0 R >>", rows)


@fixture
def xref_type_3():
    rows = rows_for((1, 2, 1), [(3, 0, 0)])
    return raw_xref_stream(CATALOG, "<< /Type /XRef /Size 1 /W [1 2 1] /Root 1 0 R >>", rows)


@fixture
def xref_short_data():
    rows = rows_for((1, 2, 1), [(0, 0, 0)])
    return raw_xref_stream(CATALOG, "<< /Type /XRef /Size 2 /W [1 2 1] /Root 1 0 R >>", rows)


@fixture
def xref_huge_index():
    rows = rows_for((1, 2, 1), [(0, 0, 0)])
    return raw_xref_stream(CATALOG, "<< /Type /XRef /Size 2 /Index [0 4294967295 0 4294967295] "
                                    "/W [1 2 1] /Root 1 0 R >>", rows)


@fixture
def xref_wide_field_no_entries():
    return raw_xref_stream(CATALOG, "<< /Type /XRef /Size 0 /W [1 9 1] /Root 1 0 R >>", b"")


@fixture
def xref_missing_w():
    return raw_xref_stream(CATALOG, "<< /Type /XRef /Size 1 /Root 1 0 R >>", b"")


@fixture
def xref_odd_index():
    return raw_xref_stream(CATALOG, "<< /Type /XRef /Size 1 /Index [0] /W [1 2 1] /Root 1 0 R >>", b"")


@fixture
def catalog_version_14():
    return minimal().add(1, "<< /Type /Catalog /Pages 2 0 R /Version /1.4 >>").build()


@fixture
def catalog_version_110():
    return minimal().add(1, "<< /Type /Catalog /Pages 2 0 R /Version /1.10 >>").build()


@fixture
def deep_nesting():
    return minimal().add(3, "[" * 10000 + "]" * 10000).build()


def page_tree_file(root: str, nodes: dict[int, str]) -> bytes:
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>").add(2, root)
    for number, body in nodes.items():
        b.add(number, body)
    return b.build()


@fixture
def page_tree():
    # Root attributes, an untyped node overriding two of them (with Kids behind a
    # reference), a page stored as a stream, a kid listed twice, and Count 7.
    b = PdfBuilder()
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 4 0 R] /Count 7 /MediaBox [0 0 612 792] "
             "/Resources 20 0 R /Rotate 90 >>")
    b.add(3, "<< /Parent 2 0 R /Kids 6 0 R /MediaBox [0 0 100 100] /CropBox [1 1 99 99] >>")
    b.add(4, "<< /Type /Page /Parent 2 0 R /Contents 12 0 R /Annots [] >>")
    b.add(5, "<< /Type /Page /Parent 3 0 R /Resources << /Font << /F9 8 0 R >> >> "
             "/Contents [9 0 R [10 0 R 11 0 R]] >>")
    b.add(6, "[5 0 R 7 0 R]")
    b.add_stream(7, "<< /Type /Page /Parent 3 0 R /Contents 9 0 R >>", b"")
    b.add(8, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    for number in (9, 10, 11):
        b.add_stream(number, "<< >>", b"q Q")
    b.add(12, "<< /Foo 1 >>")
    b.add(13, "[13 0 R]")
    b.add(14, "[9 0 R 15 0 R]")
    b.add(15, "[10 0 R 14 0 R]")
    b.add(16, "[9 0 R 9 0 R 17 0 R 17 0 R]")
    b.add(17, "[10 0 R]")
    b.add(18, "(not resources)")
    b.add_stream(19, "<< /ProcSet [/PDF] >>", b"")
    b.add(20, "<< /ProcSet [/PDF /Text] >>")
    return b.build()


@fixture
def page_tree_cycle_to_root():
    return page_tree_file("<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                          {3: "<< /Type /Pages /Kids [4 0 R 2 0 R] >>", 4: "<< /Type /Page >>"})


@fixture
def page_tree_leaf_without_type():
    return page_tree_file("<< /Type /Pages /Kids [3 0 R] /Count 1 >>", {3: "<< /MediaBox [0 0 1 1] >>"})


@fixture
def page_tree_direct_root():
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages << /Type /Pages /Kids [] /Count 2 >> >>")
    return b.build()


@fixture
def page_tree_no_pages():
    return PdfBuilder().add(1, "<< /Type /Catalog >>").build()


@fixture
def page_tree_bad_type():
    return page_tree_file("<< /Type /Pages /Kids [3 0 R] /Count 1 >>", {3: "<< /Type /Pagez /Kids [] >>"})


@fixture
def page_tree_kid_not_reference():
    return page_tree_file("<< /Type /Pages /Kids [3] /Count 1 >>", {})


@fixture
def page_tree_kids_not_array():
    return page_tree_file("<< /Type /Pages /Kids 3 0 R /Count 1 >>", {3: "<< /Type /Page >>"})


@fixture
def page_tree_dangling_kid():
    return page_tree_file("<< /Type /Pages /Kids [9 0 R] /Count 1 >>", {})


@fixture
def page_tree_node_not_dictionary():
    return page_tree_file("<< /Type /Pages /Kids [3 0 R] /Count 1 >>", {3: "[]"})


@fixture
def page_tree_negative_count():
    return page_tree_file("<< /Type /Pages /Kids [] /Count -1 >>", {})


@fixture
def page_tree_no_count():
    return page_tree_file("<< /Type /Pages /Kids [] >>", {})


@fixture
def page_tree_too_deep():
    nodes = {n: f"<< /Kids [{n + 1} 0 R] >>" for n in range(3, 1100)}
    nodes[1100] = "<< /Type /Page >>"
    return page_tree_file("<< /Type /Pages /Kids [3 0 R] /Count 1 >>", nodes)


@fixture
def page_tree_shared_blowup():
    # Every level lists the next one twice: 2^64 pages if walked naively.
    nodes = {n: f"<< /Kids [{n + 1} 0 R {n + 1} 0 R] >>" for n in range(3, 67)}
    nodes[67] = "<< /Type /Page >>"
    return page_tree_file("<< /Type /Pages /Kids [3 0 R] /Count 1 >>", nodes)


@fixture
def contents_shared_blowup():
    nodes = {n: f"[{n + 1} 0 R {n + 1} 0 R]" for n in range(4, 68)}
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>").add(3, "<< /Type /Page /Contents 4 0 R >>")
    for number, body in nodes.items():
        b.add(number, body)
    return b.add_stream(68, "<< >>", b"").build()


@fixture
def inspect_dump():
    b = PdfBuilder()
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, "<< >>")
    b.add_stream(3, "<< /N 1 >>", b"A\r\nB")
    return b.build()


def main() -> None:
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, data in FIXTURES.items():
        (out / f"{name}.pdf").write_bytes(data)


if __name__ == "__main__":
    main()
