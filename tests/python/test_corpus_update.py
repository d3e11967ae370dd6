"""The three edits, and a chain of updates, on every clean corpus file that loads and is not
encrypted: qpdf accepts each result whenever it accepts the source, the source stays unchanged
in front, and quarvel and pypdf both read the change back.

qpdf --check reads a whole file, so a file above LARGE bytes is checked once, after the three
edits made in a row, and its chain is that row; smaller files have each edit checked and a
chain of fifty."""

import io
import os
import re
import shutil
import subprocess
from concurrent.futures import ThreadPoolExecutor

import pypdf
import pytest

from conftest import corpus_dir
from test_corpus import ROWS

CORPUS = corpus_dir()
# The manifest's "password" status marks a file encrypted too.
FILES = [row["file"] for row in ROWS
         if not row["file"].startswith("broken/") and row["encrypted"] == "no" and row["qpdf_status"] != "password"]
LARGE = 1 << 20
CHAIN = 50
TITLE = "Updated title \u00e9 (1)"
NOTE = "A note (with parentheses) \u4e2d\\"
URI = "https://example.com/a?b=(c)&d=%20"
RECT = [10, 20.5, 110, 70]


def edit(data: bytes, step: str, i: int = 0) -> bytes:
    import quarvel

    document = quarvel.Document(data)
    if step == "metadata":
        return document.with_metadata(title=f"{TITLE} {i}", author="quarvel")
    if step == "note":
        return document.with_text_annotation(0, RECT, NOTE)
    return document.with_uri_link(0, RECT, URI)


def qpdf_status(path: str) -> int:
    return subprocess.run(["qpdf", "--check", path], capture_output=True).returncode


class Outcome:
    """The edits of one file; the files qpdf is to check are written to `directory`."""

    def __init__(self, name: str, directory):
        import quarvel

        self.source = (CORPUS / name).read_bytes()
        document = quarvel.Document(self.source)  # a ValueError here: the file does not load
        self.error, self.page = None, None
        try:
            self.page = document.pages()[0]["id"] if document.page_count() else None
        except ValueError as error:
            self.error = str(error)
        self.steps = ["metadata"] + (["note", "link"] if self.page else [])
        self.files, self.checked = {}, {}
        for step in self.steps:
            self.files[step] = edit(self.source, step)
        # Only the last two links are kept: the last is checked, and points back at the other.
        self.length = CHAIN if len(self.source) <= LARGE else len(self.steps)
        self.previous = self.last = self.source
        for i in range(self.length):
            self.previous, self.last = self.last, edit(self.last, self.steps[i % len(self.steps)], i)
        checked = {"chain": self.last} | (self.files if len(self.source) <= LARGE else {})
        for step, data in checked.items():
            path = directory / f"{len(os.listdir(directory))}.pdf"
            path.write_bytes(data)
            self.checked[step] = str(path)


@pytest.fixture(scope="module")
def outcomes(tmp_path_factory):
    directory = tmp_path_factory.mktemp("updates")
    results = {}
    for name in FILES:
        try:
            results[name] = Outcome(name, directory)
        except ValueError:  # does not load: the loading sweep reports it
            pass
    with ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        jobs = {name: {step: pool.submit(qpdf_status, path) for step, path in outcome.checked.items()}
                for name, outcome in results.items()}
        for name, steps in jobs.items():
            results[name].checked = {step: job.result() for step, job in steps.items()}
    return results


def read_back(data: bytes, page_id: str | None):
    """Title and the page's newest annotation as quarvel sees them; title and the page's
    annotation dictionaries as pypdf sees them."""
    import quarvel

    document = quarvel.Document(data)
    newest = max(o["number"] for o in document.objects())
    page = document.object_text(int(page_id.split()[0])) if page_id else ""
    on_page = re.search(rf"/Annots \[(.* )?{newest} 0 R\]", page)
    ours = (document.metadata()["title"], document.object_text(newest) if on_page else None)
    reader = pypdf.PdfReader(io.BytesIO(data))
    page = reader.get_object(int(page_id.split()[0])) if page_id else {}
    theirs = (reader.metadata.title if reader.metadata else None, [a.get_object() for a in page.get("/Annots", [])])
    return ours, theirs


@pytest.mark.skipif(not FILES or not shutil.which("qpdf"), reason="corpus or qpdf not available")
@pytest.mark.parametrize("name", FILES or ["none"])
def test_updates_on_real_file(name, outcomes, tmp_path):
    import quarvel

    if name not in outcomes:
        pytest.skip("does not load")
    outcome = outcomes[name]
    if outcome.error:  # only a page tree that cannot be read stops the annotation edits, with its own error
        with pytest.raises(ValueError, match=f"^{re.escape(outcome.error)}$"):
            quarvel.Document(outcome.source).with_text_annotation(0, RECT, NOTE)

    source_status = None
    for step, status in outcome.checked.items():
        if status != 0:
            if source_status is None:
                path = tmp_path / "source.pdf"
                path.write_bytes(outcome.source)
                source_status = qpdf_status(str(path))
            assert source_status != 0 and status in (source_status, 0), step

    (_, pypdf_before) = read_back(outcome.source, outcome.page)[1]
    rect = "[10 20.5 110 70]"
    expected = {"note": f"<< /Contents ({NOTE}) /Rect {rect} /Subtype /Text /Type /Annot >>",
                "link": f"<< /A << /S /URI /URI ({URI}) >> /Rect {rect} /Subtype /Link /Type /Annot >>"}
    for step, data in outcome.files.items():
        assert data.startswith(outcome.source), step
        (title, newest), (pypdf_title, pypdf_annotations) = read_back(data, outcome.page)
        if step == "metadata":
            assert title == pypdf_title == f"{TITLE} 0"
            continue
        assert newest == expected[step]
        assert len(pypdf_annotations) == len(pypdf_before) + 1
        new = pypdf_annotations[-1]
        assert (new["/Contents"] if step == "note" else new["/A"]["/URI"]) == (NOTE if step == "note" else URI)

    assert outcome.last.startswith(outcome.source)
    (title, newest), (pypdf_title, pypdf_annotations) = read_back(outcome.last, outcome.page)
    metadata_steps = range(0, outcome.length, len(outcome.steps))
    assert title == pypdf_title == f"{TITLE} {metadata_steps[-1]}"
    last_step = outcome.steps[(outcome.length - 1) % len(outcome.steps)]
    assert newest == expected.get(last_step, newest)
    assert len(pypdf_annotations) == len(pypdf_before) + outcome.length - len(metadata_steps)
    # The last update points back at the table of the one before.
    previous = int(outcome.previous.rsplit(b"startxref", 1)[1].split()[0])
    if outcome.length > 1:
        assert outcome.previous[previous:previous + 5] == b"xref\n"
    assert re.search(rb"/Prev (\d+) >>\nstartxref\n\d+\n%%EOF\n$", outcome.last)[1] == b"%d" % previous
