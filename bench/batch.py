"""Batch throughput of the quarvel command over the whole corpus, in one run.

1. `quarvel text` with --jobs 1 and --jobs N: files/s and the speed-up.
2. What the process pool costs per file: start-up of the workers and the transfer of
   tasks and results, measured as pool runs with one worker against the same work
   done in-process.
3. `quarvel markdown -o DIR` against a PyMuPDF equivalent (pymupdf4llm.to_markdown
   in a multiprocessing.Pool of the same size, each file's Markdown written to a
   file), same files, same run; the ratio of the times.

Peers come from the `bench` extra: pip install '.[bench]'. Run it under `nice` on a
shared machine and read the ratios rather than the seconds.
"""

from __future__ import annotations

import argparse
import multiprocessing
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ProcessPoolExecutor

from corpus import best_time, corpus_dir

import quarvel
from quarvel import cli


def command(*args: str) -> None:
    subprocess.run([sys.executable, "-m", "quarvel", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def timed_commands(repeat: int, *variants: list[str]) -> list[tuple[float, float]]:
    """Per variant: the best wall-clock seconds, and the processor seconds (user and
    system, workers included) of that run. The variants take turns, so that a machine
    whose speed drifts (a shared host) disturbs them alike."""
    best = [(float("inf"), 0.0) for _ in variants]
    for _ in range(repeat):
        for i, args in enumerate(variants):
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            start = time.perf_counter()
            command(*args)
            wall = time.perf_counter() - start
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
            best[i] = min(best[i], (wall, cpu))
    return best


def readable_text_built() -> bool:
    try:
        quarvel.Document(quarvel.write_text_pdf(["x"])).layout_text()
    except NotImplementedError:
        return False
    return True


def pool_costs(files: list[str], text_args: list[str], repeat: int) -> tuple[float, float, float]:
    """(seconds in-process, seconds through a one-worker pool, seconds to start N workers)."""
    args = cli.build_parser().parse_args(text_args + files)
    sources = cli.plan(args)
    tasks = [(source, args) for source in sources]
    inline = best_time(lambda: [cli.process(task) for task in tasks], repeat)

    def pooled() -> None:
        with ProcessPoolExecutor(max_workers=1) as pool:
            list(pool.map(cli.process, tasks))

    def start_up() -> None:
        with ProcessPoolExecutor(max_workers=args.jobs) as pool:
            list(pool.map(abs, range(args.jobs)))

    return inline, best_time(pooled, repeat), best_time(start_up, repeat)


def timed_process(task: tuple[cli.Source, argparse.Namespace]) -> tuple[int, float]:
    start = time.process_time()
    cli.process(task)
    return os.getpid(), time.process_time() - start


def critical_path(files: list[str], text_args: list[str], jobs: int) -> tuple[float, float]:
    """(processor seconds of the busiest worker, of all workers) when the batch is dealt
    out as the command deals it, largest file first. Each worker's processor time is
    what a busy machine leaves alone: the busiest one bounds the wall-clock time on
    `jobs` idle cores."""
    args = cli.build_parser().parse_args(text_args + files)
    sources = sorted(cli.plan(args), key=lambda source: -os.stat(source.path).st_size)
    per_worker: dict[int, float] = {}
    with ProcessPoolExecutor(max_workers=jobs) as pool:
        for pid, seconds in pool.map(timed_process, [(source, args) for source in sources]):
            per_worker[pid] = per_worker.get(pid, 0.0) + seconds
    return max(per_worker.values()), sum(per_worker.values())


class Timeout(Exception):
    pass


def on_alarm(signum, frame):
    raise Timeout


def pymupdf_markdown(task: tuple[str, str, bool, float]) -> str:
    """"written", "failed" or "timeout" for one file."""
    import pymupdf4llm

    path, target, layout, timeout = task
    # The layout model, when pymupdf-layout is installed, costs seconds a page; the
    # plain path is the fair, faster peer.
    pymupdf4llm.use_layout(layout)
    # Some files keep pymupdf4llm busy for minutes or for ever; a file past the timeout
    # counts as not written, and its time as the timeout: the ratio is understated.
    signal.signal(signal.SIGALRM, on_alarm)
    signal.setitimer(signal.ITIMER_REAL, timeout)
    try:
        text = pymupdf4llm.to_markdown(path, show_progress=False)
    except Timeout:
        return "timeout"
    except Exception:  # noqa: BLE001 - a failing file counts as not done, like ours
        return "failed"
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
    with open(target, "w", encoding="utf-8") as f:
        f.write(text)
    return "written"


def peer_markdown(files: list[str], jobs: int, folder: str, layout: bool, timeout: float) -> dict[str, int]:
    tasks = [(path, os.path.join(folder, f"{i}.md"), layout, timeout) for i, path in enumerate(files)]
    counts = {"written": 0, "failed": 0, "timeout": 0}
    with multiprocessing.Pool(jobs) as pool:
        results = pool.imap_unordered(pymupdf_markdown, tasks)
        for _ in tasks:
            # A hang inside native code is out of the alarm's reach: give up on the run.
            counts[results.next(timeout=timeout * 2 + 60)] += 1
    return counts


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--jobs", type=int, default=2, help="processes for the parallel runs (default 2)")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each measurement; the best counts")
    parser.add_argument("--no-peer", action="store_true", help="skip the pymupdf4llm comparison")
    parser.add_argument("--peer-timeout", type=float, default=120,
                        help="seconds pymupdf4llm may spend on one file (default 120)")
    parser.add_argument("--peer-layout", action="store_true", help="let pymupdf4llm use its layout model")
    args = parser.parse_args()

    corpus = str(corpus_dir())
    files = list(cli.find_pdfs(corpus))
    for path in files:  # a warm page cache for everyone
        with open(path, "rb") as f:
            f.read()
    text_args = ["text"] if readable_text_built() else ["text", "--raw"]
    name = " ".join(text_args)
    print(f"corpus: {len(files)} files below {corpus}; cores: {os.cpu_count()}; the machine may be shared")

    (one, one_cpu), (many, many_cpu) = timed_commands(
        args.repeat, [*text_args, "--jobs", "1", corpus], [*text_args, "--jobs", str(args.jobs), corpus])
    print(f"quarvel {name} --jobs 1: {one:7.3f} s {len(files) / one:7.1f} files/s  (processor {one_cpu:.3f} s)")
    print(f"quarvel {name} --jobs {args.jobs}: {many:7.3f} s {len(files) / many:7.1f} files/s  "
          f"(processor {many_cpu:.3f} s)  speed-up {one / many:.2f}x")
    print(f"the pool's processor cost: {(many_cpu - one_cpu) / len(files) * 1e3:.2f} ms per file, "
          "start-up of the workers and transfer of tasks and results")

    inline, pooled, start_up = pool_costs(files, text_args + ["--jobs", str(args.jobs)], args.repeat)
    per_file = (pooled - inline) / len(files)
    print(f"in-process {inline:.3f} s, one-worker pool {pooled:.3f} s: pool cost {per_file * 1e3:.3f} ms per file "
          f"(start-up and transfer); starting {args.jobs} workers alone {start_up * 1e3:.1f} ms")
    busiest, total = critical_path(files, text_args, args.jobs)
    # What the one-process run spends besides the files (interpreter, imports, the walk)
    # is paid once either way; the pool adds its start-up; then the busiest worker.
    estimate = one_cpu / (one_cpu - total + start_up + busiest)
    print(f"{args.jobs} workers: busiest {busiest:.3f} processor s of {total:.3f}; on {args.jobs} idle cores "
          f"--jobs {args.jobs} would run about {estimate:.2f}x the --jobs 1 rate")

    if args.no_peer:
        return
    folder = tempfile.mkdtemp(prefix="quarvel-bench-")
    try:
        # One run each: the peer takes minutes, and both face the same machine.
        ours = best_time(lambda: command("markdown", "--jobs", str(args.jobs), corpus, "-o",
                                         os.path.join(folder, "ours")), 1)
        written = sum(len(names) for _, _, names in os.walk(os.path.join(folder, "ours")))
        peer_folder = os.path.join(folder, "peer")
        os.makedirs(peer_folder)
        start = time.perf_counter()
        peer_counts = peer_markdown(files, args.jobs, peer_folder, args.peer_layout, args.peer_timeout)
        peer = time.perf_counter() - start
        print(f"quarvel markdown --jobs {args.jobs}:  {ours:9.3f} s  {written}/{len(files)} files written")
        print(f"pymupdf4llm, Pool({args.jobs}):       {peer:9.3f} s  {peer_counts['written']}/{len(files)} files written, "
              f"{peer_counts['failed']} failed, {peer_counts['timeout']} stopped after {args.peer_timeout:g} s")
        print(f"ratio: quarvel is {peer / ours:.1f} times faster")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
