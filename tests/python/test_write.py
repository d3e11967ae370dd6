import shutil
import subprocess

import pytest

import quarvel

PAGE_LISTS = [[], ["Hello\nWorld"], ["one", "two", "three"], ["(paren) back\\slash", "a\n\nb\n"],
              ("tuple", "of pages"), ["caf\u00e9 \u4e2d\u6587"]]


@pytest.mark.parametrize("pages", PAGE_LISTS)
def test_written_pdf_reads_back(pages, tmp_path):
    data = quarvel.write_text_pdf(pages, title="T", author="A")
    assert isinstance(data, bytes)
    document = quarvel.Document(data)
    assert document.page_count() == max(len(pages), 1)
    texts = document.page_texts()
    for page, text in zip(pages, texts):
        if page.isascii():
            assert [line for line in text.splitlines() if line] == [line for line in page.splitlines() if line]
    info = document.object_text(2 * max(len(pages), 1) + 3)
    assert info == "<< /Author (A) /Producer (quarvel) /Title (T) >>"
    if shutil.which("qpdf"):
        path = tmp_path / "out.pdf"
        path.write_bytes(data)
        subprocess.run(["qpdf", "--check", str(path)], check=True, capture_output=True)


def test_optional_strings():
    assert quarvel.write_text_pdf(["x"]) == quarvel.write_text_pdf(["x"], None, author=None)
    info = quarvel.Document(quarvel.write_text_pdf(["x"], title="")).object_text(5)
    assert info == "<< /Producer (quarvel) /Title () >>"


@pytest.mark.parametrize("args, kwargs", [
    (("one page",), {}),
    ((b"bytes",), {}),
    (([1],), {}),
    ((["ok", None],), {}),
    ((iter(["x"]),), {}),
    ((["x"],), {"title": 1}),
    ((["x"],), {"author": b"A"}),
    ((), {}),
    ((["x"],), {"subject": "s"}),
])
def test_argument_errors(args, kwargs):
    with pytest.raises(TypeError):
        quarvel.write_text_pdf(*args, **kwargs)
