"""Loading speed: every corpus file through Document.open and Document.open_mmap.

Prints MB/s and objects/s per file and in total (best of --repeat runs per file).
"""

from __future__ import annotations

import argparse

import quarvel

from corpus import all_files, best_time


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    totals = {"open": [0.0, 0, 0], "open_mmap": [0.0, 0, 0]}  # seconds, bytes, objects
    print(f"{'file':58} {'MB':>7} {'objects':>8} {'open MB/s':>10} {'obj/s':>10} {'mmap MB/s':>10} {'obj/s':>10}")
    for path in all_files():
        size = path.stat().st_size
        try:
            objects = quarvel.Document.open(str(path)).object_count()
        except ValueError as error:
            print(f"{str(path.relative_to(path.parents[1])):58} refused: {error}")
            continue
        row = []
        for method in ("open", "open_mmap"):
            constructor = getattr(quarvel.Document, method)
            seconds = best_time(lambda: constructor(str(path)), args.repeat)
            totals[method][0] += seconds
            totals[method][1] += size
            totals[method][2] += objects
            row += [size / seconds / 1e6, objects / seconds]
        name = str(path.relative_to(path.parents[1]))
        print(f"{name:58} {size / 1e6:7.2f} {objects:8d} {row[0]:10.1f} {row[1]:10.0f} {row[2]:10.1f} {row[3]:10.0f}")
    for method, (seconds, size, objects) in totals.items():
        print(f"total {method:9}: {size / 1e6:.1f} MB, {objects} objects in {seconds:.3f} s: "
              f"{size / seconds / 1e6:.1f} MB/s, {objects / seconds:.0f} objects/s")


if __name__ == "__main__":
    main()
