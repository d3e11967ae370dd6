"""Encrypted files whose user password is empty read as plain files; any other
encryption leaves the file exactly as stored."""

import collections
import io
import re
import shutil
import subprocess

import pytest

import quarvel
from conftest import PdfBuilder, corpus_dir
from pdf_builder import stream_object
from test_corpus import manifest

TITLE, CHAPTER, NOTE, PAGE_TEXT, XMP = "Crypt test", "Chapter one", "Note here", "Secret page text", "quarvel xmp"
QPDF = shutil.which("qpdf")

# A standard security dictionary (AES-256, R6) whose empty user password opens it, and
# "Crypt test" encrypted under its file key: R6 keys do not depend on the file's /ID.
AES256_ENCRYPT = (
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256"
    " /P -4 /R 6 /StmF /StdCF /StrF /StdCF /V 5"
    " /O <78ea5d953ce89523ab244b93591a8d0418a3e2f57ac9ed08ffb2562e539872b7b19db33cfa1de89ed523ed62e337234f>"
    " /OE <f0ff9dcb2bb188c59bd59e910d60b27bc16f05c04316f80057fef1e9529692d4>"
    " /Perms <97edf344fcde865b27e515e7696fcc67>"
    " /U <78e046ec4c5c745fcf990b8404608fe8d0218b2d6d6e11a76cffaefd43aaa697c0f7b69e1c225075c4ad17adfafb5434>"
    " /UE <12a200fe301cdc7a64811c57640cf736d79c908b4f26d366003818be57714ea2> >>")
AES256_TITLE = "<5dc5b2c6e95dc71e78452102bf58b3e1d1703ddeeb799c49c9ef9346a8f6265d>"


def plain_pdf() -> bytes:
    """A page with text and a text annotation, an outline item, an Info title and XMP."""
    b = PdfBuilder()
    b.add(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 5 0 R /Metadata 7 0 R >>")
    b.add(2, "<< /Type /Pages /Kids [10 0 R] /Count 1 >>")
    b.add(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    b.add(4, f"<< /Title ({TITLE}) >>")
    b.add(5, "<< /Type /Outlines /First 6 0 R /Last 6 0 R /Count 1 >>")
    b.add(6, f"<< /Title ({CHAPTER}) /Parent 5 0 R /Dest [10 0 R /Fit] >>")
    b.add_stream(7, "<< /Type /Metadata /Subtype /XML >>", f"<x:xmpmeta>{XMP}</x:xmpmeta>".encode())
    b.add(8, f"<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /Contents ({NOTE}) >>")
    b.add(10, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >>"
              " /Contents 11 0 R /Annots [8 0 R] >>")
    b.add_stream(11, "<< >>", f"BT /F1 12 Tf 72 720 Td ({PAGE_TEXT}) Tj ET".encode())
    return b.build(info=4)


def qpdf_encrypt(directory, user: str, *args: str) -> bytes:
    source, target = directory / "in.pdf", directory / "out.pdf"
    source.write_bytes(plain_pdf())
    # Streams other than object streams uncompressed, so their text shows in the object text.
    subprocess.run(["qpdf", "--allow-weak-crypto", "--object-streams=generate", "--compress-streams=n", "--encrypt",
                    user, "owner", *args, "--", source, target], capture_output=True, check=True)
    return target.read_bytes()


def pypdf_encrypt(algorithm: str) -> bytes:
    pypdf = pytest.importorskip("pypdf")
    writer = pypdf.PdfWriter(clone_from=io.BytesIO(plain_pdf()))
    writer.encrypt("", "owner", algorithm=algorithm)
    out = io.BytesIO()
    writer.write(out)
    return out.getvalue()


def reading(data: bytes):
    """Every object's text and the page texts, or the error that stops them."""
    try:
        document = quarvel.Document(data)
    except ValueError as error:
        return str(error)
    objects = {o["id"]: o["text"].replace("/Encrypx", "/Encrypt") for o in document.objects()}
    try:
        return objects, document.page_texts()
    except ValueError as error:
        return objects, str(error)


def as_stored(data: bytes):
    """How the file reads when nothing is decrypted: the same bytes without the
    trailer's /Encrypt key (renamed in place, so every offset stays)."""
    return reading(re.sub(rb"/Encrypt(?=\s)", b"/Encrypx", data))


QPDF_CASES = {"rc4-40": ["40"], "rc4-128": ["128", "--use-aes=n"], "aes-128": ["128", "--use-aes=y"],
              "aes-256": ["256"], "aes-128-clear-metadata": ["128", "--use-aes=y", "--cleartext-metadata"],
              "aes-256-clear-metadata": ["256", "--cleartext-metadata"]}
PYPDF_CASES = ["RC4-40", "RC4-128", "AES-128", "AES-256-R5", "AES-256"]


@pytest.mark.parametrize("case", [*QPDF_CASES, *PYPDF_CASES])
def test_empty_user_password_reads_in_clear(case, tmp_path):
    if case in QPDF_CASES and not QPDF:
        pytest.skip("qpdf not installed")
    data = qpdf_encrypt(tmp_path, "", *QPDF_CASES[case]) if case in QPDF_CASES else pypdf_encrypt(case)
    document = quarvel.Document(data)
    assert PAGE_TEXT in document.page_text(0)
    texts = "\n".join(o["text"] for o in document.objects())
    # Info title, outline title, annotation contents and the XMP packet (in clear in the
    # "clear-metadata" files, where it must not be decrypted).
    for expected in (f"/Title ({TITLE})", f"/Title ({CHAPTER})", f"/Contents ({NOTE})", XMP):
        assert expected in texts, expected
    metadata = document.metadata()
    assert (metadata["title"], metadata["encrypted"], XMP in metadata["xmp"]) == (TITLE, True, True)
    assert TITLE not in str(as_stored(data))  # it really was encrypted


@pytest.mark.skipif(not QPDF, reason="qpdf not installed")
@pytest.mark.parametrize("args", [["128", "--use-aes=y"], ["256"], ["40"]])
def test_user_password_reads_as_stored(args, tmp_path):
    data = qpdf_encrypt(tmp_path, "secret", *args)
    assert reading(data) == as_stored(data)
    assert TITLE not in str(reading(data))


def with_encrypt(encrypt_object: str, trailer_value: str = "9 0 R", compressed: bool = False) -> bytes:
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>").add(2, "<< /Type /Pages /Kids [] /Count 0 >>")
    b.add(4, f"<< /Title {AES256_TITLE} >>").add(9, encrypt_object)
    if compressed:
        b.compress(8, [9])
    data = b.build(info=4, xref="stream" if compressed else "table")
    return data.replace(b"/Root 1 0 R", b"/Root 1 0 R /Encrypt " + trailer_value.encode(), 1)


@pytest.mark.parametrize("encrypt, trailer_value, compressed, opens", [
    (AES256_ENCRYPT, "9 0 R", False, True),
    ("null", AES256_ENCRYPT, False, True),  # the dictionary directly in the trailer
    (AES256_ENCRYPT.replace("/P -4", "/P -8"), "9 0 R", False, False),  # /Perms does not match
    (AES256_ENCRYPT, "9 0 R", True, False),  # objects in object streams do not count
    (AES256_ENCRYPT, "10 0 R", False, False),
    (AES256_ENCRYPT, "[9 0 R]", False, False),
    (stream_object(AES256_ENCRYPT, b""), "9 0 R", False, False),
], ids=["reference", "direct", "perms", "compressed", "dangling", "array", "stream"])
def test_encrypt_dictionary(encrypt, trailer_value, compressed, opens):
    data = with_encrypt(encrypt, trailer_value, compressed)
    assert (f"/Title ({TITLE})" in quarvel.Document(data).object_text(4)) == opens
    if opens:  # the encryption dictionary itself is never decrypted
        assert reading(data)[0].get("9 0 R") == as_stored(data)[0].get("9 0 R")
    else:
        assert reading(data) == as_stored(data)


ROWS = [row for row in manifest() if row["encrypted"] != "no"]
# Non-blank characters of the page text, as a multiset: extractors differ in spacing
# and line breaks, not in the characters they decode.
TEXT_FLOOR = 0.95


def characters(text: str) -> collections.Counter:
    return collections.Counter(c for c in text if not c.isspace())


@pytest.mark.parametrize("name", [row["file"] for row in ROWS if row["encrypted"] == "yes"] or ["none"])
def test_corpus_empty_user_password(name):
    pypdf = pytest.importorskip("pypdf")
    if name == "none":
        pytest.skip("corpus not available")
    path = corpus_dir() / name
    reader = pypdf.PdfReader(path)
    assert reader.decrypt("")
    document = quarvel.Document.open(str(path))

    assert document.metadata()["title"] == ((reader.metadata and reader.metadata.title) or "")
    theirs = characters("".join(page.extract_text() for page in reader.pages))
    mine = characters("".join(document.page_texts()))
    shared = sum((theirs & mine).values())
    assert shared >= TEXT_FLOOR * max(sum(theirs.values()), sum(mine.values())), (shared, theirs, mine)


@pytest.mark.parametrize("name", [row["file"] for row in ROWS if row["encrypted"] == "yes-userpw"] or ["none"])
def test_corpus_user_password(name):
    if name == "none":
        pytest.skip("corpus not available")
    data = (corpus_dir() / name).read_bytes()
    assert reading(data) == as_stored(data)
