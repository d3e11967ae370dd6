"""Layout text and word boxes over the clean corpus files, against pdftotext -raw and PyMuPDF.

Words are compared as multisets of whitespace-separated strings over the first pages of
each file: recall is the share of pdftotext's words (U+FFFD alone excluded) that our
layout text also has; bigram recall does the same for pairs of neighbouring words, so
it also checks order and spacing. Boxes are compared where every simple font carries
/Widths: PyMuPDF's words that we also produce, paired in order per page and text."""

import collections
import os
import re
import shutil
import statistics
import subprocess
from concurrent.futures import ThreadPoolExecutor

import pytest

import quarvel
from conftest import corpus_dir
from test_corpus import manifest

CORPUS = corpus_dir()
NAMES = [row["file"] for row in manifest() if not row["file"].startswith("broken/") and row["encrypted"] == "no"]
PAGES = 200
MIN_WORDS = 20  # files with fewer reference words say nothing about word breaks

FLOOR = 0.9
TEX_ENCODING = "TeX fonts without ToUnicode whose built-in encoding (not read) differs from Standard"
RTL = "right-to-left words come in drawing order; pdftotext reorders them"
CJK = "CJK text: pdftotext breaks words differently"
ANNOTATION = "text only in annotation appearances or form field values"
# Files below FLOOR: name -> (floor, reason).
EXPLAINED = {
    "pdfjs/french_diacritics.pdf": (0.0, "Type3 font without ToUnicode, glyph names outside the glyph list"),
    "texlive/test_ol_rm.pdf": (0.1, "Type3 fonts without ToUnicode"),
    "texlive/allowbreak-dhucs.pdf": (0.1, "Korean TrueType font without ToUnicode"),
    "pdfjs/XiaoBiaoSong.pdf": (0.3, "GBK codes in a TrueType font without ToUnicode"),
    "texlive/ntheorem-doc-vn.pdf": (0.4, "Vietnamese " + TEX_ENCODING),
    "debian-doc/liboctave.pdf": (0.55, "dot leaders in a math font: " + TEX_ENCODING),
    "debian-doc/R-FAQ.pdf": (0.8, "dot leaders in a math font: " + TEX_ENCODING),
    "texlive/arabi-add-example.pdf": (0.55, RTL),
    "texlive/quran-ur-doc.pdf": (0.6, RTL),
    "texlive/xepersian-hm-doc.pdf": (0.7, RTL),
    "texlive/pxjahyper.pdf": (0.65, CJK + ", and Japanese Type0 fonts without ToUnicode"),
    "texlive/sample-bxcjkjatype.pdf": (0.85, CJK),
    "texlive/nanicolle-doc-zh.pdf": (0.85, CJK),
    "texlive/example.pdf": (0.85, CJK + "; the raised A of the LaTeX logo joins its word"),
    "qpdf/json-changed-need-appearances.pdf": (0.7, ANNOTATION),
    "pypdf-samples/libreoffice-form.pdf": (0.85, ANNOTATION),
    "texlive/musikui.pdf": (0.75, TEX_ENCODING + " (typewriter and symbol fonts)"),
    "texlive/demo-plain.pdf": (0.85, TEX_ENCODING + " (ligatures, dashes)"),
    "texlive/expdlisg.pdf": (0.85, "accents drawn as glyphs of their own, which pdftotext merges with the letter"),
}
MEDIAN_FLOOR, AGGREGATE_FLOOR, BIGRAM_MEDIAN_FLOOR = 0.95, 0.93, 0.85
BOX_FLOOR = 0.9

pytestmark = [pytest.mark.skipif(not NAMES, reason="corpus not available"),
              pytest.mark.skipif(not shutil.which("pdftotext"), reason="pdftotext not installed")]


def pdftotext_words(path: str) -> list[str] | None:
    run = subprocess.run(["pdftotext", "-raw", "-enc", "UTF-8", "-l", str(PAGES), path, "-"], capture_output=True,
                         timeout=120)
    return words(run.stdout.decode("utf-8", "replace")) if run.returncode == 0 else None


def words(text: str) -> list[str]:
    return [w for w in text.split() if w != "\ufffd"]


def recall(reference: list, ours: list) -> tuple[int, int]:
    found = collections.Counter(reference) & collections.Counter(ours)
    return sum(found.values()), len(reference)


@pytest.fixture(scope="module")
def measures():
    """name -> (found, total, bigrams found, bigrams total) for every file with enough text."""
    with ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        references = dict(zip(NAMES, pool.map(lambda n: pdftotext_words(str(CORPUS / n)), NAMES)))
    out = {}
    for name, reference in references.items():
        if not reference or len(reference) < MIN_WORDS:
            continue
        try:
            ours = words("\n".join(quarvel.Document.open(str(CORPUS / name)).page_layout_texts()[:PAGES]))
        except ValueError:
            continue  # refusals are checked by the page text corpus test
        out[name] = recall(reference, ours) + recall(list(zip(reference, reference[1:])), list(zip(ours, ours[1:])))
    return out


def test_word_recall(measures):
    shares = {name: found / total for name, (found, total, _, _) in measures.items()}
    low = {name: f"{share:.3f}" for name, share in shares.items() if share < EXPLAINED.get(name, (FLOOR,))[0]}
    assert not low, f"below the floor: {low}"
    assert statistics.median(shares.values()) >= MEDIAN_FLOOR
    found = sum(m[0] for m in measures.values())
    total = sum(m[1] for m in measures.values())
    assert found / total >= AGGREGATE_FLOOR, f"aggregate {found / total:.4f}"
    bigrams = [m[2] / m[3] for m in measures.values() if m[3]]
    assert statistics.median(bigrams) >= BIGRAM_MEDIAN_FLOOR


SIMPLE_FONT = re.compile(r"/Subtype /(Type1|TrueType|MMType1)\b")


def widths_everywhere(document) -> bool:
    return not any("/Type /Font" in o["text"] and SIMPLE_FONT.search(o["text"]) and "/Widths" not in o["text"]
                   for o in document.objects())


def test_word_boxes_against_pymupdf():
    pymupdf = pytest.importorskip("pymupdf")
    close = total = 0
    for name in NAMES:
        try:
            document = quarvel.Document.open(str(CORPUS / name))
            count = document.page_count()
        except ValueError:
            continue
        if not widths_everywhere(document):
            continue
        with pymupdf.open(str(CORPUS / name)) as peer:
            for index in range(min(PAGES, count, peer.page_count)):
                ours = collections.defaultdict(list)
                for word in document.page_words(index):
                    ours[word["text"]].append(word["bbox"])
                seen = collections.Counter()
                for x0, _, x1, _, text, *_ in peer[index].get_text("words"):
                    k, seen[text] = seen[text], seen[text] + 1
                    if k < len(ours[text]):
                        box = ours[text][k]
                        total += 1
                        close += abs(box[0] - x0) <= 1 and abs(box[2] - x1) <= 1
    assert total and close / total >= BOX_FLOOR, f"{close} of {total} words within 1 pt"
