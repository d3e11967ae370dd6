"""Writes the seed inputs of every fuzz target, `make_seeds.py OUT_DIR`: OUT_DIR/<target>/
holds small whole files (the test fixtures and the small files of the shared corpus),
their objects cut out one by one, decoded content streams and CMaps, and raw stream
data, each shaped as that target reads its input (see targets/*.cpp)."""

from __future__ import annotations

import hashlib
import os
import pathlib
import re
import sys
import zlib

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))

from make_fixtures import fixtures  # noqa: E402
from pdf_builder import text_pdf  # noqa: E402

MAX_FILE = 64 << 10  # whole files larger than this make slow seeds
MAX_PART = 16 << 10
PER_TARGET = 400

OBJECT = re.compile(rb"\d+\s+\d+\s+obj\b.*?\bendobj\b", re.S)
STREAM = re.compile(rb"<<(.*?)>>\s*stream\r?\n(.*?)\r?\n?endstream", re.S)


def corpus_dir() -> pathlib.Path:
    return pathlib.Path(os.environ.get("QUARVEL_CORPUS", HERE.parent.parent / ".." / "shared" / "corpus"))


def whole_files() -> list[bytes]:
    files = list(fixtures().values())
    files.append(text_pdf(["Hello (World)\nsecond line", "page two"]))
    root = corpus_dir()
    if root.is_dir():
        files += [p.read_bytes() for p in sorted(root.rglob("*.pdf")) if p.stat().st_size <= MAX_FILE]
    return files


def streams(files: list[bytes]) -> list[tuple[bytes, bytes]]:
    """(dictionary text, raw data) of every stream small enough to be a seed."""
    found = []
    for data in files:
        for match in STREAM.finditer(data):
            if len(match.group(2)) <= MAX_PART:
                found.append((match.group(1), match.group(2)))
    return found


def inflated(raw: bytes) -> bytes | None:
    try:
        return zlib.decompressobj().decompress(raw, MAX_PART * 4)
    except zlib.error:
        return None


def seeds() -> dict[str, list[bytes]]:
    files = whole_files()
    objects = [m.group(0) for data in files for m in OBJECT.finditer(data) if len(m.group(0)) <= MAX_PART]
    contents, cmaps, flate = [], [], []
    for dictionary, raw in streams(files):
        plain = inflated(raw) if b"Flate" in dictionary else raw
        if b"Flate" in dictionary:
            flate.append((dictionary, raw))
        if plain is None:
            continue
        if b"beginbfchar" in plain or b"beginbfrange" in plain:
            cmaps.append(plain)
        elif b"Tj" in plain or b"TJ" in plain or b"Tf" in plain:
            contents.append(plain)

    small_files = [f for f in files if len(f) <= MAX_FILE]
    filter_seeds = [
        b"\x00" + b"48 65 6c6C 6F>",
        b"\x01" + b"<~87cURD]i,\"Ebo80~>",
        b"\x01" + b"z!!!!z~>",
        b"\x02" + b"\x02abc\xfex\x80",
        b"\x03" + zlib.compress(b"hello hello hello"),
        b"\x04\x03\x01\x00\x04" + bytes([2, 1, 2, 3, 4, 1, 1, 1, 1, 1, 4, 9, 9, 9, 9]),
        b"\x05<< /Filter [/AHx /Fl] >>\n" + zlib.compress(b"x" * 64).hex().encode(),
        b"\x05<< /Filter /Fl /DecodeParms << /Predictor 12 /Columns 4 >> >>\n"
        + zlib.compress(bytes([2, 1, 2, 3, 4, 2, 1, 1, 1, 1])),
    ]
    filter_seeds += [b"\x03" + raw for _, raw in flate]
    filter_seeds += [b"\x05" + b" ".join(d.split()) + b"\n" + raw for d, raw in flate if b"\n" not in d]
    return {
        "lexer": objects + small_files,
        "parser": [bytes([mode]) + o for o in objects for mode in (0, 1)],
        "filter": filter_seeds,
        "cmap": [c + b"\xff" + bytes(range(0, 256, 7)) for c in cmaps],
        "content": contents,
        "document": small_files,
        "page_text": small_files,
        "metadata": small_files,
        "resources": small_files,
        "layout": small_files,
        "navigation": small_files,
        "incremental": [bytes([i % 3, 0, 0, 100, 100]) + b"Note (1)\x1e" + f for i, f in enumerate(small_files)],
        "crypt": [bytes([0, 5]) + b"Key\x01\x02" + b"plain text", bytes([1]) + bytes(range(16)) + bytes(48),
                  bytes([3]) + bytes(range(32)) + bytes(range(64))],
        "write_text_pdf": [
            b"\x01Hello\nWorld",
            b"\x82T(itle)\x1ea\n\nb\n\x1ex\r\ny\r",
            b"\x83\xc3\xa9t\xc3\xa9\x1e\xe2\x82\xac (\\) \x1e\xf0\x9f\x98\x80\x1e\xff\xfe",
            b"\x80\x1e",
        ],
    }


def main() -> None:
    out = pathlib.Path(sys.argv[1])
    for target, inputs in seeds().items():
        directory = out / target
        directory.mkdir(parents=True, exist_ok=True)
        unique = {hashlib.sha1(data).hexdigest(): data for data in inputs}
        for name, data in sorted(unique.items())[:PER_TARGET]:
            (directory / name).write_bytes(data)
        print(f"{target}: {min(len(unique), PER_TARGET)} seeds")


if __name__ == "__main__":
    main()
