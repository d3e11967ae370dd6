"""Metadata, outline, page labels and every page's links of each clean corpus file, with
quarvel and PyMuPDF in one run (pip install '.[bench]').

Each library runs in its own process over the same files, best of --repeat runs per file.
'open+nav' includes opening the file (quarvel loads every object up front, PyMuPDF lazily);
'nav' times the navigation calls alone on a document opened beforehand.
"""

from __future__ import annotations

import argparse
import json
import subprocess
import sys
import time

from corpus import clean_files, manifest


def quarvel_open(path: str):
    import quarvel
    return quarvel.Document.open(path)


def quarvel_navigate(document) -> int:
    document.metadata()
    document.outlines()
    document.page_labels()
    pages = len(document.pages())
    for i in range(pages):
        document.page_links(i)
    return pages


def pymupdf_open(path: str):
    import pymupdf
    return pymupdf.open(path)


def pymupdf_navigate(document) -> int:
    document.metadata
    document.get_toc(simple=False)
    for page in document:
        page.get_label()
        page.get_links()
    return document.page_count


LIBRARIES = {"quarvel": (quarvel_open, quarvel_navigate), "pymupdf": (pymupdf_open, pymupdf_navigate)}


def best(function, repeat: int) -> tuple[float, object]:
    seconds, result = float("inf"), None
    for _ in range(repeat):
        start = time.perf_counter()
        result = function()
        seconds = min(seconds, time.perf_counter() - start)
    return seconds, result


def files_up_to(max_pages: int) -> list[str]:
    pages = {row["file"]: row["pages"] for row in manifest()}
    return [str(p) for p in clean_files()
            if not max_pages or int(pages[f"{p.parent.name}/{p.name}"].replace("-", "0")) <= max_pages]


def worker(library: str, repeat: int, max_pages: int) -> None:
    open_, navigate = LIBRARIES[library]
    files = files_up_to(max_pages)
    if files:
        navigate(open_(files[0]))  # imports and warm-up outside the timing
    per_file = {}
    for path in files:
        try:
            whole, pages = best(lambda: navigate(open_(path)), repeat)
            document = open_(path)
            nav, _ = best(lambda: navigate(document), repeat)
            per_file[path] = [pages, whole, nav]
        except Exception:  # a failure on a file just counts as not ok
            per_file[path] = None
    print(json.dumps(per_file))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--repeat", type=int, default=3, help="runs per file; the best counts")
    parser.add_argument("--max-pages", type=int, default=0,
                        help="leave out files with more pages (PyMuPDF spends minutes on the longest manuals)")
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        worker(args.worker, args.repeat, args.max_pages)
        return
    for path in clean_files():  # warm the page cache for everyone
        path.read_bytes()
    results = {}
    for library in LIBRARIES:
        run = subprocess.run([sys.executable, __file__, "--worker", library, "--repeat", str(args.repeat),
                              "--max-pages", str(args.max_pages)],
                             capture_output=True, text=True)
        if run.returncode != 0:
            print(f"{library}: failed to run: {run.stderr.strip().splitlines()[-1:] or ''}")
            continue
        results[library] = json.loads(run.stdout.strip().splitlines()[-1])
    if "quarvel" not in results:
        return
    # Totals over the files every library read, so nobody is charged for another's refusals.
    common = set.intersection(*({f for f, r in res.items() if r} for res in results.values()))
    base = [sum(results["quarvel"][f][k] for f in common) for k in (1, 2)]
    print(f"{'library':10} {'files ok':>10} {'pages':>7} {'open+nav s':>11} {'x quarvel':>10} {'nav s':>9} "
          f"{'x quarvel':>10}")
    for library, res in results.items():
        ok = [r for r in res.values() if r]
        whole, nav = (sum(res[f][k] for f in common) for k in (1, 2))
        print(f"{library:10} {len(ok):>4}/{len(res):<5} {sum(r[0] for r in ok):7d} {whole:11.3f} "
              f"{whole / base[0]:10.1f} {nav:9.3f} {nav / base[1]:10.1f}")
    print(f"Times and ratios cover the {len(common)} files that every library read.")


if __name__ == "__main__":
    main()
