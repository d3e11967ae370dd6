"""Runs every fuzz target (or those named) for a budget of CPU time and prints, per
target: CPU minutes, executions, coverage (edges), features, and the inputs that
crashed, hung, leaked or ran out of memory.

    campaign.py BUILD_DIR [--seconds N] [--jobs J] [--wall S] [--work DIR] [TARGET...]

BUILD_DIR is a QUARVEL_FUZZ build. Seeds are written to WORK/seeds on first use; the
grown corpora stay in WORK/corpus between runs; findings go to WORK/artifacts/<target>/.
A target that crashes is restarted until its budget is spent. With --wall the whole
campaign stops after S seconds of wall time, reporting what each target reached.
Exits 1 if anything was found."""

from __future__ import annotations

import argparse
import os
import pathlib
import re
import signal
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
TARGETS = sorted(p.stem for p in (HERE / "targets").glob("*.cpp"))
STATUS = re.compile(rb"#(\d+)\s+\w+\s+cov: (\d+) ft: (\d+)")


class Run:
    def __init__(self, target: str, build: pathlib.Path, work: pathlib.Path, seconds: float) -> None:
        self.target, self.build, self.work, self.seconds = target, build, work, seconds
        self.cpu = 0.0
        self.executions = self.edges = self.features = 0
        self.findings: list[str] = []
        self.process: subprocess.Popen | None = None
        self.log: pathlib.Path | None = None

    def start(self) -> None:
        corpus = self.work / "corpus" / self.target
        artifacts = self.work / "artifacts" / self.target
        corpus.mkdir(parents=True, exist_ok=True)
        artifacts.mkdir(parents=True, exist_ok=True)
        self.log = self.work / "logs" / f"{self.target}-{time.strftime('%H%M%S')}-{len(self.findings)}.log"
        self.log.parent.mkdir(parents=True, exist_ok=True)
        remaining = max(1, int(self.seconds - self.cpu))
        command = [
            "nice", "-n", "19", str(self.build / "tests" / "fuzz" / f"fuzz_{self.target}"),
            f"-max_total_time={remaining}", "-timeout=60", "-rss_limit_mb=2048", "-malloc_limit_mb=1024",
            "-print_final_stats=1", f"-dict={HERE / 'pdf.dict'}", f"-artifact_prefix={artifacts}/",
            str(corpus), str(self.work / "seeds" / self.target),
        ]
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=self.log.open("wb"))

    def row(self) -> str:
        found = "; ".join(self.findings) or "none"
        return f"| {self.target} | {self.cpu / 60:.2f} | {self.executions} | {self.edges} | {self.features} | {found} |"

    def finish(self, status: int, usage, stopped: bool = False) -> bool:
        """Takes a finished process in; true when the budget is not yet spent."""
        self.cpu += usage.ru_utime + usage.ru_stime
        text = self.log.read_bytes()
        runs = STATUS.findall(text)
        if runs:
            self.executions += int(runs[-1][0])
            self.edges = max(self.edges, int(runs[-1][1]))
            self.features = max(self.features, int(runs[-1][2]))
        if stopped:
            return False
        if os.waitstatus_to_exitcode(status) != 0:
            found = re.findall(rb"Test unit written to (\S+)", text)
            summary = re.findall(rb"SUMMARY: (.*)", text) or re.findall(rb"ERROR: libFuzzer: (.*)", text)
            what = summary[-1].decode(errors="replace") if summary else "exit %d" % os.waitstatus_to_exitcode(status)
            self.findings.append(f"{found[-1].decode() if found else '?'}: {what}")
            return self.cpu < self.seconds and len(self.findings) < 20
        # -max_total_time counts wall time: on a busy machine a run ends short of its
        # CPU, and is started again for the rest.
        return self.cpu < self.seconds


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("build", type=pathlib.Path)
    parser.add_argument("targets", nargs="*", default=TARGETS)
    parser.add_argument("--seconds", type=float, default=1800, help="CPU seconds per target")
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--wall", type=float, default=None, help="wall seconds for the whole campaign")
    parser.add_argument("--work", type=pathlib.Path, default=pathlib.Path("build/fuzz-campaign"))
    args = parser.parse_intermixed_args()
    if not (args.work / "seeds").is_dir():
        subprocess.run([sys.executable, str(HERE / "make_seeds.py"), str(args.work / "seeds")], check=True)

    waiting = [Run(t, args.build.resolve(), args.work.resolve(), args.seconds) for t in args.targets]
    done, running = [], {}
    # A row as each target finishes, so that an interrupted campaign still reports.
    print("| target | CPU min | executions | edges | features | crashes |")
    print("|---|---:|---:|---:|---:|---|", flush=True)
    deadline = time.monotonic() + args.wall if args.wall else None
    stopping = False
    while waiting or running:
        while waiting and len(running) < args.jobs and not stopping:
            run = waiting.pop(0)
            run.start()
            running[run.process.pid] = run
        if not running:
            break
        pid, status, usage = os.wait4(-1, os.WNOHANG)
        if pid == 0:
            if deadline and time.monotonic() > deadline and not stopping:
                stopping = True  # libFuzzer ends on SIGINT with its statistics
                for run in running.values():
                    run.process.send_signal(signal.SIGINT)
            time.sleep(1)
            continue
        run = running.pop(pid, None)
        if run is None:
            continue
        if run.finish(status, usage, stopping) and not stopping:
            waiting.insert(0, run)
        else:
            done.append(run)
            print(run.row(), flush=True)
    for run in waiting:
        print(f"| {run.target} | not run: out of wall time | | | | |", flush=True)
    return 1 if any(run.findings for run in done) else 0


if __name__ == "__main__":
    sys.exit(main())
