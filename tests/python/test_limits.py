"""The decoded size limit: a Flate bomb is refused with a clear error while memory stays
below the limit, and set_decoded_size_limit takes only a positive int."""

import os
import subprocess
import sys
import textwrap
import zlib

import pytest
from pdf_builder import PdfBuilder

import quarvel

MESSAGE = "failed to decode /FlateDecode stream: decoded data exceeds the size limit"
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")

# Builds, in the child process, a page whose content is three nested Flate layers that
# would inflate to 10 GiB of zeros: one compressed MiB repeated (each full flush resets
# the compressor, so every MiB compresses alike) and left without its final block, a
# truncated stream that inflates as far as it goes. A few KB after two more layers.
BOMB = textwrap.dedent("""
    import resource, sys, zlib
    sys.path.insert(0, {tests!r})
    import quarvel
    from pdf_builder import PdfBuilder
    mib = bytes(1 << 20)
    c = zlib.compressobj(9)
    head = c.compress(mib) + c.flush(zlib.Z_FULL_FLUSH)
    block = c.compress(mib) + c.flush(zlib.Z_FULL_FLUSH)
    data = zlib.compress(zlib.compress(head + block * (10 * 1024 - 1), 9), 9)
    pdf = (PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>")
           .add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
           .add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>")
           .add_stream(4, "<< /Filter [/FlateDecode /FlateDecode /FlateDecode] >>", data).build())
    if {limit} is not None:
        quarvel.set_decoded_size_limit({limit})
    document = quarvel.Document(pdf)
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    try:
        document.page_text(0)
    except ValueError as error:
        print(len(data), before, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, error)
""")


@pytest.mark.parametrize("limit", [64 << 20, None], ids=["lowered", "default"])
def test_flate_bomb_is_refused_within_the_limit(limit):
    tests = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    script = BOMB.format(tests=tests, limit=limit)
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True).stdout
    size, before, after, message = out.strip().split(" ", 3)
    assert message == MESSAGE
    assert int(size) < 64 << 10
    if not UNDER_ASAN:  # its shadow memory and quarantine count too
        assert (int(after) - int(before)) * 1024 < (limit or 1 << 30) + (100 << 20)


def test_limit_round_trips_and_applies():
    previous = quarvel.set_decoded_size_limit(10)
    try:
        assert previous == 1 << 30
        assert quarvel.set_decoded_size_limit(limit=11) == 10
        page = b"BT /F1 12 Tf (Hello world) Tj ET"
        pdf = (PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>")
               .add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
               .add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>")
               .add_stream(4, "<< /Filter /FlateDecode >>", zlib.compress(page)).build())
        with pytest.raises(ValueError, match=MESSAGE):
            quarvel.Document(pdf).page_text(0)
        quarvel.set_decoded_size_limit(len(page))
        assert quarvel.Document(pdf).page_text(0) == "Hello world"
    finally:
        quarvel.set_decoded_size_limit(previous)
    assert "set_decoded_size_limit" not in quarvel.__all__


@pytest.mark.parametrize("bad, error", [(0, ValueError), (-1, OverflowError), (1 << 70, OverflowError),
                                        ("1", TypeError), (1.5, TypeError)])
def test_limit_must_be_a_positive_int(bad, error):
    with pytest.raises(error):
        quarvel.set_decoded_size_limit(bad)
    assert quarvel.set_decoded_size_limit(1 << 30) == 1 << 30


def test_page_labels_are_held_to_the_limit():
    kids = " ".join(f"{n} 0 R" for n in range(3, 6))
    builder = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R /PageLabels << /Nums [0 << /S /D /P (Part-) >>] >> >>")
    builder.add(2, f"<< /Type /Pages /Kids [{kids}] /Count 3 >>")
    for n in range(3, 6):
        builder.add(n, "<< /Type /Page /Parent 2 0 R >>")
    document = quarvel.Document(builder.build())
    previous = quarvel.set_decoded_size_limit(18)
    try:
        assert document.page_labels() == ["Part-1", "Part-2", "Part-3"]
        quarvel.set_decoded_size_limit(17)
        with pytest.raises(ValueError, match="expected page labels within the size limit"):
            document.page_labels()
    finally:
        quarvel.set_decoded_size_limit(previous)
