"""Writes small PDF files with correct offsets, for the fixtures of both test suites.

Objects are given as PDF source text; the builder numbers nothing by itself, so a
test can place any object (or any damage) exactly where it wants.
"""

from __future__ import annotations

import struct
import zlib


def _b(text: str | bytes) -> bytes:
    return text if isinstance(text, bytes) else text.encode("latin-1")


def stream_object(dictionary: str, data: bytes) -> bytes:
    """A stream object body; /Length is the data's size."""
    inner = _b(dictionary).strip()
    assert inner.startswith(b"<<") and inner.endswith(b">>")
    return inner[:-2].rstrip() + b" /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"


def startxref(data: bytes) -> int:
    return int(data[data.rindex(b"startxref") + 9:].split()[0])


class PdfBuilder:
    def __init__(self, version: str = "1.7"):
        self.header = b"%PDF-" + version.encode() + b"\n%\xe2\xe3\xcf\xd3\n"
        self.objects: dict[int, bytes] = {}
        self.compressed: dict[int, list[int]] = {}
        self.placed: dict[int, tuple[int, int]] = {}

    def add(self, number: int, body: str | bytes) -> "PdfBuilder":
        self.objects[number] = _b(body)
        return self

    def add_stream(self, number: int, dictionary: str, data: bytes) -> "PdfBuilder":
        return self.add(number, stream_object(dictionary, data))

    def compress(self, stream_number: int, numbers: list[int]) -> "PdfBuilder":
        """Moves the listed objects into object stream `stream_number`."""
        self.compressed[stream_number] = list(numbers)
        return self

    def place(self, number: int, stream_number: int, index: int) -> "PdfBuilder":
        """Lists `number` as entry `index` of `stream_number`, whatever that object holds."""
        self.placed[number] = (stream_number, index)
        return self

    def build(self, info: int | None = None, xref: str = "table") -> bytes:
        """The whole file; `xref` is "table" or "stream"."""
        direct, entries = dict(self.objects), {0: (0, 0, 65535)}
        for stream_number, numbers in self.compressed.items():
            head, body = [], b""
            for index, number in enumerate(numbers):
                head.append(f"{number} {len(body)}")
                body += direct.pop(number) + b"\n"
                entries[number] = (2, stream_number, index)
            first = (" ".join(head) + "\n").encode()
            direct[stream_number] = stream_object(
                f"<< /Type /ObjStm /N {len(numbers)} /First {len(first)} /Filter /FlateDecode >>", zlib.compress(first + body))
        entries.update({n: (2, s, i) for n, (s, i) in self.placed.items()})
        out = bytearray(self.header)
        for number in sorted(direct):
            entries[number] = (1, len(out), 0)
            out += b"%d 0 obj\n" % number + direct[number] + b"\nendobj\n"
        top, row = max(entries) + 1, lambda n: entries.get(n, (0, 0, 0))
        extra = " /Root 1 0 R" + (f" /Info {info} 0 R" if info else "")
        start = len(out)
        if xref == "table":
            assert len(entries) == len(direct) + 1, "compressed objects need a cross-reference stream"
            rows = (b"%010d %05d %c \n" % (f2, f3, b"fn"[t]) for t, f2, f3 in map(row, range(top)))
            out += b"xref\n0 %d\n" % top + b"".join(rows) + f"trailer\n<< /Size {top}{extra} >>\n".encode()
        else:
            entries[top] = (1, start, 0)
            rows = b"".join(struct.pack(">BIH", *row(n)) for n in range(top + 1))
            dictionary = f"<< /Type /XRef /Size {top + 1} /W [1 4 2] /Filter /FlateDecode{extra} >>"
            out += b"%d 0 obj\n" % top + stream_object(dictionary, zlib.compress(rows)) + b"\nendobj\n"
        return bytes(out + b"startxref\n%d\n%%%%EOF\n" % start)


def append_update(base: bytes, objects: dict[int, str | bytes], trailer: str, generation: int = 0) -> bytes:
    """Appends an incremental update with a classic section; `trailer` is the whole
    trailer dictionary body (without /Prev, which is added)."""
    out = bytearray(base if base.endswith(b"\n") else base + b"\n")
    offsets = {}
    for number in sorted(objects):
        offsets[number] = len(out)
        out += b"%d %d obj\n" % (number, generation) + _b(objects[number]) + b"\nendobj\n"
    start = len(out)
    out += b"xref\n" + b"".join(b"%d 1\n%010d %05d n \n" % (n, o, generation) for n, o in offsets.items())
    out += b"trailer\n<< " + trailer.encode() + b" /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (startxref(base), start)
    return bytes(out)


def text_pdf(pages: list[str], compress_objects: bool = False, info: dict[str, str] | None = None) -> bytes:
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
    if info:
        b.add(4, "<< " + " ".join(f"/{k} ({v})" for k, v in info.items()) + " >>")
    if compress_objects:
        b.compress(9, [1, 2, 3] + ([4] if info else []))
    return b.build(info=4 if info else None, xref="stream" if compress_objects else "table")
