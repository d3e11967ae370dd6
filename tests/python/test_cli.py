"""The quarvel command, run as a subprocess the way a shell runs it."""

import fcntl
import json
import os
import pty
import struct
import subprocess
import sys
import termios

import pytest
from conftest import PdfBuilder, corpus_dir, text_pdf

import quarvel

PAGES = ["First page", "Second page", "Third page"]
BROKEN = b"%PDF-1.7\nnot a pdf at all\n"


def run(*args, input=b"", env=None):
    return subprocess.run([sys.executable, "-m", "quarvel", *map(str, args)], input=input, capture_output=True,
                          env=env)


def not_built(method, *args):
    """True while `method` still raises NotImplementedError: its tests then wait for it."""
    try:
        getattr(quarvel.Document(text_pdf(PAGES)), method)(*args)
    except NotImplementedError:
        return True
    except Exception:  # noqa: BLE001 - built, whatever it thinks of this file
        pass
    return False


def needs(*methods):
    missing = [m for m in methods if not_built(m, *([0] if m.startswith("page_") else []))]
    return pytest.mark.skipif(bool(missing), reason=f"{', '.join(missing)} raises NotImplementedError")


def image_pdf():
    """One page with a 2x1 grey image drawn through a form XObject, a 1x1 RGB image and
    a JPEG, which does not decode."""
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>").add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    b.add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] "
             "/Resources << /XObject << /Fm0 4 0 R /Im2 6 0 R /Im3 8 0 R >> >> /Contents 7 0 R >>")
    b.add_stream(4, "<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /Im1 5 0 R >> >> >>",
                 b"/Im1 Do")
    b.add_stream(5, "<< /Subtype /Image /Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray >>", b"\x00\xff")
    b.add_stream(6, "<< /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB >>",
                 b"\x01\x02\x03")
    b.add_stream(7, "<< >>", b"q /Fm0 Do /Im2 Do Q")
    b.add_stream(8, "<< /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB "
                    "/Filter /DCTDecode >>", b"\xff\xd8\xff\xd9")
    return b.build()


@pytest.fixture
def tree(tmp_path):
    """in/a.pdf, in/broken.pdf, in/sub/B.PDF and a file that is not a PDF."""
    root = tmp_path / "in"
    (root / "sub").mkdir(parents=True)
    (root / "a.pdf").write_bytes(text_pdf(["alpha one", "alpha two"]))
    (root / "broken.pdf").write_bytes(BROKEN)
    (root / "sub" / "B.PDF").write_bytes(text_pdf(["beta"]))
    (root / "notes.txt").write_text("not read")
    return root


def raw_text(data):
    return quarvel.Document(data).text()


def test_batch_goes_on_past_a_broken_file(tree, tmp_path):
    result = run("text", "--raw", tree, "--jobs", 1)
    assert result.returncode == 1
    broken_error = pytest.raises(ValueError, quarvel.Document, BROKEN).value
    assert result.stderr.decode() == f"{tree / 'broken.pdf'}: {broken_error}\n"  # a pipe: no progress bar
    assert result.stdout.decode() == raw_text(text_pdf(["alpha one", "alpha two"])) + "\n" + \
        raw_text(text_pdf(["beta"])) + "\n"

    out = tmp_path / "out"
    result = run("text", "--raw", tree, "-o", out)
    assert (result.returncode, result.stdout) == (1, b"")
    written = sorted(str(p.relative_to(out)) for p in out.rglob("*") if p.is_file())
    assert written == ["a.txt", os.path.join("sub", "B.txt")]
    assert (out / "a.txt").read_text() == raw_text(text_pdf(["alpha one", "alpha two"])) + "\n"


def test_parallel_output_is_the_same(tree):
    corpus = sorted(corpus_dir().glob("*/*.pdf"))[:20]
    inputs = [tree, tree / "a.pdf", *corpus]
    one, two = run("dump", *inputs, "--jobs", 1), run("dump", *inputs, "--jobs", 2)
    assert one.returncode == two.returncode == 1
    assert one.stdout == two.stdout and one.stderr == two.stderr
    assert one.stdout.count(b"\n") > (100 if corpus else 10)


def test_standard_input_and_pages():
    data = text_pdf(PAGES)
    document = quarvel.Document(data)
    result = run("text", "--raw", "-", "--pages", "3,1", input=data)
    assert result.returncode == 0
    assert result.stdout.decode() == document.page_text(0) + "\n" + document.page_text(2) + "\n"
    assert run("text", "--raw", "-", "-p", "2-", input=data).stdout.decode() == \
        document.page_text(1) + "\n" + document.page_text(2) + "\n"
    assert run("text", "--raw", "-", "-p", "7-9", input=data).stdout == b""  # past the end: nothing
    result = run("dump", "-", input=BROKEN)
    assert (result.returncode, result.stdout) == (1, b"")
    assert result.stderr.decode().startswith("-: ")


def test_open_page_range_stops_at_the_real_pages():
    from quarvel.cli import selected_pages

    pdf = (PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>")
           .add(2, "<< /Type /Pages /Kids [3 0 R] /Count 4611686018427387904 >>")
           .add(3, "<< /Type /Page /Parent 2 0 R >>").build())
    assert selected_pages(quarvel.Document(pdf), [(1, None), (5, 9)]) == [0]


@pytest.mark.parametrize("args", [
    [], ["text"], ["frobnicate", "x.pdf"], ["text", "--pages", "0", "x.pdf"], ["text", "--pages", "3-1", "x.pdf"],
    ["text", "--jobs", "0", "x.pdf"], ["images", "x.pdf"], ["update", "x.pdf", "-o", "y.pdf"],
    ["update", "x.pdf", "--note", "1", "a", "0", "1", "1", "hi", "-o", "y.pdf"], ["llm", "--ocr", "sometimes", "x.pdf"],
    ["text", "-", "-"],
])
def test_usage_errors(args, tmp_path):
    result = run(*args)
    assert result.returncode == 2 and result.stdout == b"" and b"usage:" in result.stderr


def test_help_and_version():
    result = run("--help")
    assert result.returncode == 0 and b"Exit status" in result.stdout
    for command in ["text", "markdown", "llm", "info", "ocr-requests", "dump", "images", "update"]:
        result = run(command, "--help")
        assert result.returncode == 0 and b"examples:" in result.stdout, command
    assert run("--version").stdout.startswith(b"quarvel ")


def test_progress_bar_only_on_a_terminal(tree):
    controller, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
    with subprocess.Popen([sys.executable, "-m", "quarvel", "dump", tree / "a.pdf", tree / "sub"],
                          stdout=subprocess.PIPE, stderr=terminal) as process:
        os.close(terminal)
        stdout = process.stdout.read()
        seen = b""
        while True:
            try:
                chunk = os.read(controller, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
    os.close(controller)
    assert process.returncode == 0 and stdout
    assert b"2/2" in seen and b"file" in seen


def test_dump_and_its_log(tree):
    result = run("dump", tree / "a.pdf")
    assert result.stdout.decode() == quarvel.Document.open(str(tree / "a.pdf")).dump_objects() + "\n"
    logged = run("dump", "-vv", tree / "a.pdf", tree / "sub", "--jobs", 2)
    assert logged.stdout == result.stdout + run("dump", tree / "sub").stdout
    lines = logged.stderr.decode().splitlines()
    assert sum(line.startswith("quarvel.document INFO parse bytes=") for line in lines) == 2
    assert any(line.startswith("quarvel.document TRACE parsed PDF object graph") for line in lines)


@needs("layout_text", "page_layout_text")
def test_readable_text(tree):
    document = quarvel.Document.open(str(tree / "a.pdf"))
    assert run("text", tree / "a.pdf").stdout.decode().rstrip("\n") == document.layout_text().rstrip("\n")
    assert run("text", tree / "a.pdf", "-p", "2").stdout.decode().rstrip("\n") == \
        document.page_layout_text(1).rstrip("\n")


@needs("to_markdown")
def test_markdown_folder(tree, tmp_path):
    result = run("markdown", tree, "-o", tmp_path / "md")
    assert result.returncode == 1
    assert (tmp_path / "md" / "sub" / "B.md").read_text().rstrip("\n") == \
        quarvel.Document.open(str(tree / "sub" / "B.PDF")).to_markdown().rstrip("\n")


@needs("llm_document", "llm_chunks", "ocr_requests")
def test_llm_json(tree):
    path = tree / "a.pdf"
    document = quarvel.Document.open(str(path))
    record = json.loads(run("llm", path, "--ocr", "off").stdout)
    assert record == json.loads(json.dumps({"path": str(path), **document.llm_document(ocr="off")}))
    lines = run("llm", path, "--jsonl", "-p", "2").stdout.decode().splitlines()
    assert [json.loads(line) for line in lines] == \
        json.loads(json.dumps([{"path": str(path), **document.llm_chunks()[1]}]))
    requests = json.loads(run("ocr-requests", path, "--ocr", "always").stdout)
    assert requests["ocr_requests"] == json.loads(json.dumps(document.ocr_requests(ocr="always")))


@needs("page_labels", "outlines", "embedded_files")
def test_info(tree):
    data = text_pdf(["x"], info={"Title": "Report"})
    record = json.loads(run("info", "--json", "-", input=data).stdout)
    assert (record["path"], record["pages"], record["metadata"]["title"], record["page_labels"]) == \
        ("-", 1, "Report", ["1"])
    summary = run("info", "-", input=data).stdout.decode()
    assert "Report" in summary and "pages" in summary


@needs("page_images")
def test_images(tmp_path):
    source = tmp_path / "pics.pdf"
    source.write_bytes(image_pdf())
    result = run("images", source, "-o", tmp_path / "out")
    assert result.returncode == 0
    assert result.stderr.decode().startswith(f"{source}: page 1: image Im3 not written: ")
    folder = tmp_path / "out" / "pics"
    assert sorted(p.name for p in folder.iterdir()) == ["page1-Fm0-Im1.pgm", "page1-Im2.ppm"]
    assert (folder / "page1-Fm0-Im1.pgm").read_bytes() == b"P5\n2 1\n255\n\x00\xff"
    assert result.stdout.decode().splitlines() == [str(folder / "page1-Fm0-Im1.pgm"), str(folder / "page1-Im2.ppm")]


@needs("with_metadata")
def test_update(tmp_path):
    source = tmp_path / "in.pdf"
    source.write_bytes(text_pdf(["x"]))
    args = ["update", source, "--title", "New", "--note", "1", "10", "10", "20", "20", "hello",
            "--link", "1", "0", "0", "5", "5", "https://example.org/"]
    result = run(*args, "-o", tmp_path / "out.pdf")
    assert result.returncode == 0, result.stderr
    updated = quarvel.Document.open(str(tmp_path / "out.pdf"))
    assert updated.metadata()["title"] == "New"
    assert [link["target"] for link in updated.page_links(0)] == ["https://example.org/"]
    assert run(*args, "-o", "-").stdout == (tmp_path / "out.pdf").read_bytes()
    assert source.read_bytes() == text_pdf(["x"])
    assert run("update", source, "--title", "T", "-o", source.parent).returncode == 2  # would overwrite its input
