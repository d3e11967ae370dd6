"""The corpus files the benchmarks run over."""

from __future__ import annotations

import csv
import os
import pathlib
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent


def corpus_dir() -> pathlib.Path:
    return pathlib.Path(os.environ.get("QUARVEL_CORPUS", ROOT.parent / "shared" / "corpus"))


def manifest() -> list[dict[str, str]]:
    with open(corpus_dir() / "manifest.tsv", newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def clean_files() -> list[pathlib.Path]:
    """Every file outside broken/ that needs no password."""
    return [corpus_dir() / row["file"] for row in manifest()
            if not row["file"].startswith("broken/") and row["encrypted"] == "no"]


def all_files() -> list[pathlib.Path]:
    return [corpus_dir() / row["file"] for row in manifest()]


def best_time(function, repeat: int) -> float:
    """The fastest of `repeat` runs, in seconds."""
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        function()
        best = min(best, time.perf_counter() - start)
    return best
