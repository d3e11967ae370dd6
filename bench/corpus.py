"""The corpus files the benchmarks run over."""

from __future__ import annotations

import csv
import json
import os
import pathlib
import subprocess
import sys
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


def run_workers(script: str, libraries, arguments: list[str]) -> dict:
    """Runs `script --worker LIBRARY ARGUMENTS...` for each library, one process each, and
    returns the JSON each printed last; a library whose worker fails is reported and left out."""
    results = {}
    for library in libraries:
        run = subprocess.run([sys.executable, script, "--worker", library, *arguments], capture_output=True, text=True)
        if run.returncode != 0:
            print(f"{library}: failed to run: {run.stderr.strip().splitlines()[-1:] or ''}")
            continue
        results[library] = json.loads(run.stdout.strip().splitlines()[-1])
    return results
