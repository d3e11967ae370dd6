"""Page text of every clean corpus file with quarvel and its peers, in one run.

Each library runs in its own process (so its peak memory can be measured) over the
same files; the table gives files ok, seconds, pages/s and the time ratio to quarvel.
Three tasks, one table each: `text` (page text with every library), `layout` (text in
reading lines: quarvel's page_layout_text against PyMuPDF's get_text()) and `words`
(quarvel's page_words against PyMuPDF's get_text("words")), each page on its own.
Peers come from the `bench` extra: pip install '.[bench]'.
"""

from __future__ import annotations

import argparse
import json
import resource
import subprocess
import sys
import time

from corpus import clean_files


def extract_quarvel(path: str) -> int:
    import quarvel
    return len(quarvel.Document.open(path).page_texts())


def extract_pymupdf(path: str) -> int:
    import pymupdf
    with pymupdf.open(path) as doc:
        for page in doc:
            page.get_text()
        return doc.page_count


def extract_pypdfium2(path: str) -> int:
    import pypdfium2
    doc = pypdfium2.PdfDocument(path)
    try:
        for i in range(len(doc)):
            page = doc[i]
            textpage = page.get_textpage()
            textpage.get_text_range()
            textpage.close()
            page.close()
        return len(doc)
    finally:
        doc.close()


def extract_pypdf(path: str) -> int:
    import pypdf
    reader = pypdf.PdfReader(path)
    for page in reader.pages:
        page.extract_text()
    return len(reader.pages)


def per_page_quarvel(method: str):
    def extract(path: str) -> int:
        import quarvel
        document = quarvel.Document.open(path)
        run = getattr(document, method)
        count = document.page_count()
        for index in range(count):
            run(index)
        return count
    return extract


def per_page_pymupdf(option: str):
    def extract(path: str) -> int:
        import pymupdf
        with pymupdf.open(path) as doc:
            for page in doc:
                page.get_text(option)
            return doc.page_count
    return extract


TASKS = {
    "text": {"quarvel": extract_quarvel, "pymupdf": extract_pymupdf, "pypdfium2": extract_pypdfium2,
             "pypdf": extract_pypdf},
    "layout": {"quarvel": per_page_quarvel("page_layout_text"), "pymupdf": per_page_pymupdf("text")},
    "words": {"quarvel": per_page_quarvel("page_words"), "pymupdf": per_page_pymupdf("words")},
}


def worker(task: str, library: str, repeat: int) -> None:
    extract = TASKS[task][library]
    files = [str(p) for p in clean_files()]
    extract(files[0]) if files else None  # import and warm up outside the timing
    per_file = {}
    for path in files:
        best, count = float("inf"), 0
        for _ in range(repeat):
            start = time.perf_counter()
            try:
                count = extract(path)
            except Exception:  # a peer's failure on a file just counts as not ok
                count = -1
            best = min(best, time.perf_counter() - start)
        per_file[path] = [count, best] if count >= 0 else None
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(json.dumps({"files": per_file, "peak_mb": peak}))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--repeat", type=int, default=1, help="runs per file; the best counts")
    parser.add_argument("--libraries", default=",".join(TASKS["text"]))
    parser.add_argument("--tasks", default=",".join(TASKS))
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        task, library = args.worker.split(":")
        worker(task, library, args.repeat)
        return

    # Read every file once first, so no library pays for a cold page cache.
    for path in clean_files():
        path.read_bytes()
    for task in args.tasks.split(","):
        print(f"\n{task}")
        table(task, [lib for lib in args.libraries.split(",") if lib in TASKS[task]], args.repeat)


def table(task: str, libraries: list[str], repeat: int) -> None:
    results = {}
    for library in libraries:
        run = subprocess.run([sys.executable, __file__, "--worker", f"{task}:{library}", "--repeat", str(repeat)],
                             capture_output=True, text=True)
        if run.returncode != 0:
            last = run.stderr.strip().splitlines()[-1] if run.stderr.strip() else ""
            print(f"{library}: failed to run: {last}")
            continue
        results[library] = json.loads(run.stdout.strip().splitlines()[-1])
    if not results:
        return
    # The ratio is taken over the files every library read, so nobody is charged for
    # files another one refused.
    common = set.intersection(*({f for f, r in res["files"].items() if r} for res in results.values()))
    base = sum(results["quarvel"]["files"][f][1] for f in common) if "quarvel" in results else None
    print(f"{'library':10} {'files ok':>10} {'pages':>7} {'seconds':>9} {'pages/s':>9} "
          f"{'common s':>9} {'x quarvel':>10} {'peak MB':>8}")
    for library, res in results.items():
        ok = [r for r in res["files"].values() if r]
        pages, seconds = sum(r[0] for r in ok), sum(r[1] for r in ok)
        common_seconds = sum(res["files"][f][1] for f in common)
        ratio = f"{common_seconds / base:10.1f}" if base else f"{'-':>10}"
        print(f"{library:10} {len(ok):>4}/{len(res['files']):<5} {pages:7d} {seconds:9.3f} {pages / seconds:9.0f} "
              f"{common_seconds:9.3f} {ratio} {res['peak_mb']:8.0f}")
    print(f"'common s' and 'x quarvel' cover the {len(common)} files that every library read.")


if __name__ == "__main__":
    main()
