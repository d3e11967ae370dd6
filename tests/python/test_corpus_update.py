"""The three edits, and a chain of updates fed back one into the next, on every clean corpus
file that loads and is not encrypted: qpdf accepts each result whenever it accepts the source,
the source stays in front unchanged, and quarvel and pypdf read the change back. qpdf --check
reads whole files, so above LARGE bytes it checks only the three edits made in a row, which
are then the whole chain; smaller files have each edit checked and a chain of fifty."""

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
FILES = [row["file"] for row in ROWS  # the manifest's "password" status marks encryption too
         if not row["file"].startswith("broken/") and row["encrypted"] == "no" and row["qpdf_status"] != "password"]
LARGE, CHAIN = 1 << 20, 50
TITLE, NOTE, URI, RECT = "Title \u00e9 (1)", "A note (x) \u4e2d\\", "https://example.com/a?b=(c)&d=%20", [10, 20.5, 110, 70]
EXPECTED = {"note": f"<< /Contents ({NOTE}) /Rect [10 20.5 110 70] /Subtype /Text /Type /Annot >>",
            "link": f"<< /A << /S /URI /URI ({URI}) >> /Rect [10 20.5 110 70] /Subtype /Link /Type /Annot >>"}


def edit(data: bytes, step: str, i: int = 0) -> bytes:
    import quarvel

    document = quarvel.Document(data)
    if step == "metadata":
        return document.with_metadata(title=f"{TITLE} {i}", author="quarvel")
    return document.with_text_annotation(0, RECT, NOTE) if step == "note" else document.with_uri_link(0, RECT, URI)


def qpdf_status(data: bytes, path) -> int:
    path.write_bytes(data)
    return subprocess.run(["qpdf", "--check", str(path)], capture_output=True).returncode


def run_edits(name: str) -> dict | None:
    import quarvel

    source = (CORPUS / name).read_bytes()
    try:
        document = quarvel.Document(source)
    except ValueError:  # the loading sweep reports it
        return None
    result = {"source": source, "page": None, "error": None, "edits": {}}
    try:
        result["page"] = int(document.pages()[0]["id"].split()[0]) if document.page_count() else None
    except ValueError as error:
        result["error"] = str(error)
    steps = ["metadata"] + (["note", "link"] if result["page"] else [])
    result["edits"] = {step: edit(source, step) for step in steps}
    # Only the last two links of the chain are kept: the last points back at the other.
    result["length"] = CHAIN if len(source) <= LARGE else len(steps)
    previous = last = source
    for i in range(result["length"]):
        previous, last = last, edit(last, steps[i % len(steps)], i)
    result.update(steps=steps, previous=previous, last=last)
    result["checked"] = {"chain": last} | (result["edits"] if len(source) <= LARGE else {})
    return result


@pytest.fixture(scope="module")
def outcomes(tmp_path_factory):
    results, directory = {name: run_edits(name) for name in FILES}, tmp_path_factory.mktemp("updates")
    with ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        jobs = {(name, step): pool.submit(qpdf_status, data, directory / f"{name.replace('/', '-')}-{step}.pdf")
                for name, result in results.items() if result for step, data in result["checked"].items()}
        for (name, step), job in jobs.items():
            results[name]["checked"][step] = job.result()
    return results


def read_back(data: bytes, page: int | None):
    """(title, the newest object's text when it is the page's last annotation) by quarvel;
    (title, the page's annotation dictionaries) by pypdf."""
    import quarvel

    document = quarvel.Document(data)
    newest = max(o["number"] for o in document.objects())
    on_page = page and re.search(rf"/Annots \[(.* )?{newest} 0 R\]", document.object_text(page))
    reader = pypdf.PdfReader(io.BytesIO(data))
    annotations = [a.get_object() for a in reader.get_object(page).get("/Annots", [])] if page else []
    return (document.metadata()["title"], document.object_text(newest) if on_page else None), \
        (reader.metadata.title if reader.metadata else None, annotations)


@pytest.mark.skipif(not FILES or not shutil.which("qpdf"), reason="corpus or qpdf not available")
@pytest.mark.parametrize("name", FILES or ["none"])
def test_updates_on_real_file(name, outcomes, tmp_path):
    import quarvel

    result = outcomes[name]
    if result is None:
        pytest.skip("does not load")
    if result["error"]:  # only a page tree that cannot be read stops the annotation edits, with its own error
        with pytest.raises(ValueError, match=f"^{re.escape(result['error'])}$"):
            quarvel.Document(result["source"]).with_text_annotation(0, RECT, NOTE)
    failed = {step: status for step, status in result["checked"].items() if status != 0}
    if failed:
        source_status = qpdf_status(result["source"], tmp_path / "source.pdf")
        assert source_status != 0 and set(failed.values()) <= {source_status}, failed

    before = read_back(result["source"], result["page"])[1][1]
    for step, data in result["edits"].items():
        assert data.startswith(result["source"]), step
        (title, newest), (pypdf_title, annotations) = read_back(data, result["page"])
        if step == "metadata":
            assert title == pypdf_title == f"{TITLE} 0"
            continue
        assert newest == EXPECTED[step] and len(annotations) == len(before) + 1
        assert (annotations[-1]["/Contents"] if step == "note" else annotations[-1]["/A"]["/URI"]) == \
            (NOTE if step == "note" else URI)

    last, steps, length = result["last"], result["steps"], result["length"]
    assert last.startswith(result["source"])
    (title, newest), (pypdf_title, annotations) = read_back(last, result["page"])
    metadata_steps = range(0, length, len(steps))
    assert title == pypdf_title == f"{TITLE} {metadata_steps[-1]}"
    assert newest == EXPECTED.get(steps[(length - 1) % len(steps)])
    assert len(annotations) == len(before) + length - len(metadata_steps)
    previous = int(result["previous"].rsplit(b"startxref", 1)[1].split()[0])
    assert length == 1 or result["previous"][previous:previous + 5] == b"xref\n"
    assert re.search(rb"/Prev (\d+) >>\nstartxref\n\d+\n%%EOF\n$", last)[1] == b"%d" % previous
