"""Incremental edits of every clean corpus file with quarvel and its peers, in one run.

Two changes, each timed from opening the file to the updated bytes in memory: a new title
(`metadata`) and a text note on the first page (`note`). quarvel appends an incremental
update; pypdf writes one too (PdfWriter(path, incremental=True)); pikepdf saves the whole
file with the same change. Each library runs in its own process over the same files; the
table gives files ok, seconds and the time ratio to quarvel over the files all of them did.
Peers come from the `bench` extra: pip install '.[bench]'.
"""

from __future__ import annotations

import argparse
import io
import json
import subprocess
import sys
import time

from corpus import clean_files

TITLE = "Benchmark title"
NOTE = "Benchmark note"
RECT = (72, 700, 144, 720)


def quarvel_edit(path: str, operation: str) -> int:
    import quarvel
    document = quarvel.Document.open(path)
    if operation == "metadata":
        return len(document.with_metadata(title=TITLE))
    return len(document.with_text_annotation(0, RECT, NOTE))


def pypdf_edit(path: str, operation: str) -> int:
    import pypdf
    from pypdf.annotations import Text
    writer = pypdf.PdfWriter(path, incremental=True)
    if operation == "metadata":
        writer.add_metadata({"/Title": TITLE})
    else:
        writer.add_annotation(page_number=0, annotation=Text(rect=RECT, text=NOTE))
    out = io.BytesIO()
    writer.write(out)
    return len(out.getvalue())


def pikepdf_edit(path: str, operation: str) -> int:
    import pikepdf
    with pikepdf.open(path) as pdf:
        if operation == "metadata":
            pdf.docinfo["/Title"] = TITLE
        else:
            page = pdf.pages[0].obj
            note = pdf.make_indirect(pikepdf.Dictionary(Type=pikepdf.Name.Annot, Subtype=pikepdf.Name.Text,
                                                        Rect=list(RECT), Contents=NOTE))
            if "/Annots" in page:
                page.Annots.append(note)
            else:
                page.Annots = pikepdf.Array([note])
        out = io.BytesIO()
        pdf.save(out)
        return len(out.getvalue())


LIBRARIES = {"quarvel": quarvel_edit, "pypdf": pypdf_edit, "pikepdf": pikepdf_edit}
OPERATIONS = ("metadata", "note")


def worker(library: str, operation: str, repeat: int) -> None:
    edit = LIBRARIES[library]
    files = [str(p) for p in clean_files()]
    per_file = {}
    for path in files:
        best = float("inf")
        for _ in range(repeat):
            start = time.perf_counter()
            try:
                edit(path, operation)
            except Exception:  # a failure on a file just counts as not ok
                best = None
                break
            best = min(best, time.perf_counter() - start)
        per_file[path] = best
    print(json.dumps(per_file))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--repeat", type=int, default=1, help="runs per file; the best counts")
    parser.add_argument("--libraries", default=",".join(LIBRARIES))
    parser.add_argument("--worker", nargs=2, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        worker(*args.worker, args.repeat)
        return

    # Read every file once first, so no library pays for a cold page cache.
    for path in clean_files():
        path.read_bytes()
    print(f"{'operation':10} {'library':10} {'files ok':>10} {'seconds':>9} {'common s':>9} {'x quarvel':>10}")
    for operation in OPERATIONS:
        results = {}
        for library in args.libraries.split(","):
            run = subprocess.run([sys.executable, __file__, "--worker", library, operation, "--repeat",
                                  str(args.repeat)], capture_output=True, text=True)
            if run.returncode != 0:
                last = run.stderr.strip().splitlines()[-1] if run.stderr.strip() else ""
                print(f"{operation:10} {library:10} failed to run: {last}")
                continue
            results[library] = json.loads(run.stdout.strip().splitlines()[-1])
        if not results:
            continue
        # Ratios over the files every library edited: nobody is charged for another's refusals.
        common = set.intersection(*({f for f, s in res.items() if s is not None} for res in results.values()))
        base = sum(results["quarvel"][f] for f in common) if "quarvel" in results else None
        for library, res in results.items():
            ok = [s for s in res.values() if s is not None]
            common_seconds = sum(res[f] for f in common)
            ratio = f"{common_seconds / base:10.1f}" if base else f"{'-':>10}"
            print(f"{operation:10} {library:10} {len(ok):>4}/{len(res):<5} {sum(ok):9.3f} {common_seconds:9.3f} {ratio}")
        print(f"{'':10} 'common s' and 'x quarvel' cover the {len(common)} files that every library edited.")


if __name__ == "__main__":
    main()
