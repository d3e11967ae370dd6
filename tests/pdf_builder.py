"""Writes small PDF files with correct offsets, for the fixtures of both test suites.

Objects are given as PDF source text; the builder numbers nothing by itself, so a
test can place any object (or any damage) exactly where it wants.
"""

from __future__ import annotations

import struct
import zlib

Body = "str | bytes"


def _b(text: str | bytes) -> bytes:
    return text if isinstance(text, bytes) else text.encode("latin-1")


def stream_object(dictionary: str, data: bytes, length: int | None = None) -> bytes:
    """A stream object body; /Length is the data's size unless given."""
    n = len(data) if length is None else length
    inner = _b(dictionary).strip()
    assert inner.startswith(b"<<") and inner.endswith(b">>")
    head = inner[:-2].rstrip() + b" /Length " + str(n).encode() + b" >>"
    return head + b"\nstream\n" + data + b"\nendstream"


def flate(data: bytes) -> bytes:
    return zlib.compress(data)


class PdfBuilder:
    def __init__(self, version: str = "1.7", header: bytes | None = None):
        self.header = header if header is not None else b"%PDF-" + version.encode() + b"\n%\xe2\xe3\xcf\xd3\n"
        self.objects: dict[tuple[int, int], bytes] = {}
        self.compressed: dict[int, list[int]] = {}

    def add(self, number: int, body: str | bytes, generation: int = 0) -> "PdfBuilder":
        self.objects[(number, generation)] = _b(body)
        return self

    def add_stream(self, number: int, dictionary: str, data: bytes, generation: int = 0,
                   length: int | None = None) -> "PdfBuilder":
        return self.add(number, stream_object(dictionary, data, length), generation)

    def compress(self, stream_number: int, numbers: list[int]) -> "PdfBuilder":
        """Moves the listed objects (generation 0) into object stream `stream_number`."""
        self.compressed[stream_number] = list(numbers)
        return self

    def _object_streams(self) -> tuple[dict[tuple[int, int], bytes], dict[int, tuple[int, int]]]:
        direct = dict(self.objects)
        where: dict[int, tuple[int, int]] = {}
        for stream_number, numbers in self.compressed.items():
            header, body = [], b""
            for index, number in enumerate(numbers):
                header.append(f"{number} {len(body)}")
                body += direct.pop((number, 0)) + b"\n"
                where[number] = (stream_number, index)
            head = (" ".join(header) + "\n").encode()
            data = flate(head + body)
            direct[(stream_number, 0)] = stream_object(
                f"<< /Type /ObjStm /N {len(numbers)} /First {len(head)} /Filter /FlateDecode >>", data)
        return direct, where

    def build(self, root: int | None = 1, info: int | None = None, xref: str = "table",
              trailer: str = "", size: int | None = None) -> bytes:
        """The whole file. `xref` is "table" or "stream"; `trailer` adds raw trailer entries."""
        direct, where = self._object_streams()
        out = bytearray(self.header)
        offsets: dict[tuple[int, int], int] = {}
        for key in sorted(direct):
            offsets[key] = len(out)
            out += b"%d %d obj\n" % key + direct[key] + b"\nendobj\n"
        numbers = [n for n, _ in offsets] + list(where)
        extra = (f" /Root {root} 0 R" if root is not None else "") + (f" /Info {info} 0 R" if info else "")
        extra += (" " + trailer) if trailer else ""
        if xref == "table":
            assert not where, "compressed objects need a cross-reference stream"
            top = max(numbers, default=0) + 1
            out += _table(offsets, top, f"<< /Size {size or top}{extra} >>", len(out))
        else:
            xref_number = max(numbers, default=0) + 1
            top = xref_number + 1
            start = len(out)
            rows = []
            for n in range(top):
                gen_offsets = [(g, o) for (m, g), o in offsets.items() if m == n]
                if n == xref_number:
                    rows.append(struct.pack(">BIH", 1, start, 0))
                elif gen_offsets:
                    g, o = gen_offsets[0]
                    rows.append(struct.pack(">BIH", 1, o, g))
                elif n in where:
                    s, i = where[n]
                    rows.append(struct.pack(">BIH", 2, s, i))
                else:
                    rows.append(struct.pack(">BIH", 0, 0, 65535 if n == 0 else 0))
            dictionary = f"<< /Type /XRef /Size {size or top} /W [1 4 2] /Filter /FlateDecode{extra} >>"
            out += b"%d 0 obj\n" % xref_number + stream_object(dictionary, flate(b"".join(rows))) + b"\nendobj\n"
            out += b"startxref\n%d\n%%%%EOF\n" % start
        return bytes(out)


def _table(offsets: dict[tuple[int, int], int], top: int, trailer: str, start: int) -> bytes:
    rows = [b"xref\n0 %d\n" % top, b"0000000000 65535 f \n"]
    by_number = {n: (g, o) for (n, g), o in offsets.items()}
    for n in range(1, top):
        if n in by_number:
            g, o = by_number[n]
            rows.append(b"%010d %05d n \n" % (o, g))
        else:
            rows.append(b"0000000000 00000 f \n")
    return b"".join(rows) + b"trailer\n" + trailer.encode() + b"\nstartxref\n%d\n%%%%EOF\n" % start


def append_update(base: bytes, objects: dict[int, str | bytes], trailer: str) -> bytes:
    """Appends an incremental update with a classic section; `trailer` is the whole
    trailer dictionary body (without /Prev, which is added)."""
    prev = int(base[base.rindex(b"startxref") + 9:].split()[0])
    out = bytearray(base)
    if not out.endswith(b"\n"):
        out += b"\n"
    offsets = {}
    for number in sorted(objects):
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + _b(objects[number]) + b"\nendobj\n"
    start = len(out)
    out += b"xref\n"
    for number in sorted(offsets):
        out += b"%d 1\n%010d 00000 n \n" % (number, offsets[number])
    out += b"trailer\n<< " + trailer.encode() + b" /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (prev, start)
    return bytes(out)


def text_pdf(pages: list[str], xref: str = "table", compress_objects: bool = False,
             info: dict[str, str] | None = None) -> bytes:
    """A small document: one page per string, shown with a plain Type1 font."""
    b = PdfBuilder()
    kids = " ".join(f"{10 + 2 * i} 0 R" for i in range(len(pages)))
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, f"<< /Type /Pages /Kids [{kids}] /Count {len(pages)} >>")
    b.add(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    for i, text in enumerate(pages):
        escaped = text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
        b.add(10 + 2 * i, f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                          f"/Resources << /Font << /F1 3 0 R >> >> /Contents {11 + 2 * i} 0 R >>")
        b.add_stream(11 + 2 * i, "<< >>", f"BT /F1 12 Tf 72 720 Td ({escaped}) Tj ET".encode("latin-1"))
    info_number = None
    if info:
        info_number = 4
        entries = " ".join(f"/{k} ({v})" for k, v in info.items())
        b.add(4, f"<< {entries} >>")
    if compress_objects:
        xref = "stream"
        b.compress(9, [1, 2, 3] + ([4] if info else []))
    return b.build(root=1, info=info_number, xref=xref)
