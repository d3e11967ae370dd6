"""Outlines, page labels, form-field names, attachment names and link URIs of the clean
corpus files against qpdf: its JSON (outlines, "pagelabels", "acroform" fields, and each
page's annotations looked up among its objects) and --list-attachments."""

import json
import os
import re
import shutil
import subprocess
from concurrent.futures import ThreadPoolExecutor

import pytest

import quarvel
from conftest import corpus_dir
from test_corpus import manifest
from test_corpus_text import KNOWN_REFUSALS

CORPUS = corpus_dir()
NAMES = [row["file"] for row in manifest() if not row["file"].startswith("broken/")
         and row["encrypted"] != "yes-userpw" and row["file"] not in KNOWN_REFUSALS]
TIMEOUT = 120
# The peer runs as it would on its own, not under a sanitizer runtime preloaded for us.
PEER_ENV = {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}

# name -> (feature, reason): where we disagree with the peer on purpose.
EXPLAINED = {
    # An update frees objects 95 to 107 with generation 1; the loader keeps every entry by
    # number and generation, so the outline at 95 0 is still read, where qpdf sees it deleted.
    "qpdf/delete-and-reuse.pdf": ("outlines", "objects freed by a later update are still loaded"),
    # qpdf also lists 60 widget annotations of the pages that /AcroForm /Fields does not reach.
    "texlive/xskak.pdf": ("acroform", "widgets outside the field tree"),
}


def qpdf_results(path: str) -> dict:
    run = subprocess.run(["qpdf", "--json=2", "--json-key=outlines", "--json-key=pagelabels", "--json-key=acroform",
                          "--json-key=pages", "--json-key=qpdf", path], capture_output=True, timeout=TIMEOUT,
                         env=PEER_ENV)
    attachments = subprocess.run(["qpdf", "--list-attachments", path], capture_output=True, text=True,
                                 errors="replace", timeout=TIMEOUT, env=PEER_ENV)
    ok = (0, 3)  # 3: success with warnings
    result = json.loads(run.stdout.decode("utf-8", "replace")) if run.returncode in ok else {}
    if result:
        result["uris"] = link_uris(result)
        del result["qpdf"], result["pages"]  # large, and no longer needed
    names = None
    if attachments.returncode in ok:  # "NAME -> N,G" per attachment
        names = [line.split(" -> ")[0] for line in attachments.stdout.splitlines() if " -> " in line]
    return {"qpdf": result, "attachments": names}


def link_uris(found: dict) -> list[list[str]]:
    """The URI of every URI action of each page's link annotations, from qpdf's objects."""
    objects = {key[4:]: value for key, value in found["qpdf"][1].items() if key.startswith("obj:")}

    def resolve(value):
        if isinstance(value, str) and re.fullmatch(r"\d+ \d+ R", value):
            entry = objects.get(value, {})
            return entry["stream"]["dict"] if "stream" in entry else entry.get("value")
        return value

    def text(value) -> str:
        return value[2:] if value.startswith("u:") else bytes.fromhex(value[2:]).decode("utf-8", "replace")

    pages = []
    for page in found["pages"]:
        uris = []
        for annotation in resolve(resolve(page["object"]).get("/Annots")) or []:
            annotation = resolve(annotation)
            action = resolve(annotation.get("/A")) or {}
            if annotation.get("/Subtype") == "/Link" and action.get("/S") == "/URI" and "/URI" in action:
                uris.append(text(action["/URI"]))
        pages.append(uris)
    return pages


@pytest.fixture(scope="module")
def peers():
    pool = ThreadPoolExecutor(os.cpu_count() or 2)
    yield {name: pool.submit(qpdf_results, str(CORPUS / name)) for name in NAMES}
    pool.shutdown(cancel_futures=True)


def count_outline(items: list[dict]) -> int:
    count, stack = 0, list(items)
    while stack:
        item = stack.pop()
        count += 1
        stack += item["kids"] if "kids" in item else item["children"]
    return count


def roman(n: int) -> str:
    out = ""
    for value, symbol in ((1000, "M"), (900, "CM"), (500, "D"), (400, "CD"), (100, "C"), (90, "XC"), (50, "L"),
                          (40, "XL"), (10, "X"), (9, "IX"), (5, "V"), (4, "IV"), (1, "I")):
        count, n = divmod(n, value)
        out += symbol * count
    return out


def qpdf_labels(ranges: list[dict], count: int) -> list[str] | None:
    """Every page's label from qpdf's ranges; None where a letter range runs past 26 pages,
    since qpdf's letters double (AA, BB) where ours follow the spreadsheet scheme."""
    labels = []
    for i in range(count):
        start, label = max(((r["index"], r["label"]) for r in ranges if r["index"] <= i), default=(0, {"/S": "/D"}))
        n = i - start + label.get("/St", 1)
        style, prefix = label.get("/S"), label.get("/P", "u:")[2:]
        if style in ("/A", "/a") and n > 26:
            return None
        number = {"/D": str(n), "/R": roman(n), "/r": roman(n).lower(), "/A": chr(64 + n) if n else "",
                  "/a": chr(96 + n) if n else ""}.get(style, "")
        labels.append(prefix + number)
    return labels


pytestmark = [pytest.mark.skipif(not NAMES, reason="corpus not available"),
              pytest.mark.skipif(not shutil.which("qpdf"), reason="qpdf not installed")]


@pytest.mark.parametrize("name", NAMES or ["none"])
def test_file(name, peers):
    document = quarvel.Document.open(str(CORPUS / name))
    peer = peers[name].result()
    found = peer["qpdf"]
    problems = []

    def check(feature: str, ours, theirs):
        if theirs is not None and ours != theirs and EXPLAINED.get(name, ("",))[0] != feature:
            problems.append(f"{feature}: ours {ours!r:.300} != peer {theirs!r:.300}")

    def ours(call):
        try:
            return call()
        except ValueError as error:
            return f"error: {error}"

    if found:
        outline = ours(document.outlines)
        check("outlines", outline if isinstance(outline, str) else count_outline(outline), count_outline(found["outlines"]))
        if found["pagelabels"]:
            check("pagelabels", ours(document.page_labels), qpdf_labels(found["pagelabels"], document.page_count()))
        fields = ours(document.form_fields)
        check("acroform", fields if isinstance(fields, str) else sorted({f["full_name"] for f in fields if f["widgets"]}),
              sorted({f["fullname"] for f in found["acroform"]["fields"]}))
        uris = [ours(lambda: [link["target"] for link in document.page_links(i) if link["kind"] == "uri"])
                for i in range(len(document.pages()))]
        check("links", uris, found["uris"])
    files = ours(document.embedded_files)
    check("attachments", files if isinstance(files, str) else [f["name"] for f in files], peer["attachments"])
    assert not problems, f"{name}: " + "; ".join(problems)
