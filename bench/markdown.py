"""Markdown of every clean corpus file with quarvel and with pymupdf4llm in one run, and
quarvel's LLM document in pages per second (pip install '.[bench]').

quarvel times Document.open(path).to_markdown(), best of --repeat runs per file, and
Document.open(path).llm_document() the same way; pymupdf4llm times to_markdown(path) once
per file (it takes seconds where quarvel takes milliseconds), with a per-file timeout.
Each library runs in its own process, both under nice; the ratio covers the files that
both converted.
"""

from __future__ import annotations

import argparse
import json
import os
import signal
import time

from corpus import best_time, clean_files, corpus_dir, run_workers


def quarvel_worker(files: list[str], repeat: int, timeout: float) -> dict:
    import quarvel
    per_file = {}
    for path in files:
        try:
            markdown = best_time(lambda: quarvel.Document.open(path).to_markdown(), repeat)
            llm = best_time(lambda: quarvel.Document.open(path).llm_document(), repeat)
            per_file[path] = {"markdown": markdown, "llm": llm, "pages": len(quarvel.Document.open(path).pages())}
        except ValueError:
            per_file[path] = None
    return per_file


class Timeout(Exception):
    pass


def on_alarm(signum, frame):
    raise Timeout


def pymupdf4llm_worker(files: list[str], repeat: int, timeout: float) -> dict:
    import pymupdf
    import pymupdf4llm
    signal.signal(signal.SIGALRM, on_alarm)
    per_file = {}
    for path in files:
        signal.setitimer(signal.ITIMER_REAL, timeout)
        try:
            start = time.perf_counter()
            pymupdf4llm.to_markdown(path)
            seconds = time.perf_counter() - start
            with pymupdf.open(path) as document:
                per_file[path] = {"markdown": seconds, "pages": document.page_count}
        except Timeout:
            per_file[path] = "timeout"
        except Exception:  # noqa: BLE001 - a failure on a file just counts as not ok
            per_file[path] = None
        finally:
            signal.setitimer(signal.ITIMER_REAL, 0)
    return per_file


WORKERS = {"quarvel": quarvel_worker, "pymupdf4llm": pymupdf4llm_worker}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--repeat", type=int, default=3, help="quarvel runs per file; the best counts")
    parser.add_argument("--timeout", type=float, default=300, help="seconds pymupdf4llm may spend on one file")
    parser.add_argument("--limit", type=int, default=0, help="only the first N files (a quick look)")
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    args = parser.parse_args()
    files = [str(p) for p in clean_files()]
    if args.limit:
        files = files[:args.limit]
    if args.worker:
        os.nice(10)  # the peer takes minutes; both libraries yield alike to other work
        print(json.dumps(WORKERS[args.worker](files, args.repeat, args.timeout)))
        return
    for path in files:  # warm the page cache for everyone
        open(path, "rb").read()
    results = run_workers(__file__, WORKERS, ["--repeat", str(args.repeat), "--timeout", str(args.timeout),
                                              "--limit", str(args.limit)])
    if "quarvel" not in results:
        return

    ok = {library: {f for f, r in res.items() if isinstance(r, dict)} for library, res in results.items()}
    common = set.intersection(*ok.values())
    base = sum(results["quarvel"][f]["markdown"] for f in common)
    print(f"{'library':12} {'files ok':>10} {'timeouts':>8} {'pages':>7} {'seconds':>9} {'pages/s':>9} "
          f"{'common s':>9} {'x quarvel':>10}")
    for library, res in results.items():
        good = [res[f] for f in ok[library]]
        pages = sum(r["pages"] for r in good)
        seconds = sum(r["markdown"] for r in good)
        shared = sum(res[f]["markdown"] for f in common)
        timeouts = sum(r == "timeout" for r in res.values())
        print(f"{library:12} {len(good):>4}/{len(res):<5} {timeouts:8d} {pages:7d} {seconds:9.3f} "
              f"{pages / seconds if seconds else 0:9.0f} {shared:9.3f} {shared / base if base else 0:10.1f}")
    for library, res in results.items():
        for f, r in sorted(res.items()):
            if not isinstance(r, dict):
                print(f"{library}: {'timed out' if r == 'timeout' else 'failed'}: {os.path.relpath(f, corpus_dir())}")
    llm = [results["quarvel"][f] for f in ok["quarvel"]]
    llm_seconds = sum(r["llm"] for r in llm)
    llm_pages = sum(r["pages"] for r in llm)
    print(f"quarvel llm_document: {len(llm)} files, {llm_pages} pages, {llm_seconds:.3f} s, "
          f"{llm_pages / llm_seconds if llm_seconds else 0:.0f} pages/s")
    print(f"'common s' and 'x quarvel' cover the {len(common)} files that both converted "
          f"(times include opening the file).")


if __name__ == "__main__":
    main()
