"""Digests of every text and decoding output over the corpus, to prove a change alters nothing.

    python bench/golden.py record before.json    # with the build to compare against
    python bench/golden.py compare before.json   # with the changed build

Each file (broken ones included) gets one digest per method: of the result, or of the
error text when the call fails. `compare` lists every file and method that differ.
"""

from __future__ import annotations

import argparse
import hashlib
import json
import sys

import quarvel

from corpus import all_files, corpus_dir

WHOLE = ["page_texts", "text", "page_layout_texts", "layout_text", "dump_objects", "references_text"]
PER_PAGE = ["page_text", "page_words", "page_layout_text"]
DECODING = {"fonts": {"include_data": True}, "images": {"include_data": True, "include_pnm": True}}


def digest(call) -> str:
    try:
        value = call()
    except ValueError as error:
        return "error: " + str(error)
    return hashlib.sha256(repr(value).encode()).hexdigest()


def file_digests(path: str) -> dict[str, str]:
    try:
        document = quarvel.Document.open(path)
    except ValueError as error:
        return {"open": "error: " + str(error)}
    out = {name: digest(getattr(document, name)) for name in WHOLE}
    for name, kwargs in DECODING.items():
        out[name] = digest(lambda: getattr(document, name)(**kwargs))
    count = 0
    for size in (lambda: len(document.pages()), document.page_count):
        try:
            count = min(size(), 100000)  # a hostile /Count must not run for ever
            break
        except ValueError:
            pass
    for name in PER_PAGE:
        method = getattr(document, name)
        out[name] = hashlib.sha256("\n".join(digest(lambda: method(i)) for i in range(count + 1)).encode()).hexdigest()
    return out


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=["record", "compare"])
    parser.add_argument("digests")
    args = parser.parse_args()
    results = {str(p.relative_to(corpus_dir())): file_digests(str(p)) for p in all_files()}
    if args.action == "record":
        with open(args.digests, "w") as f:
            json.dump(results, f, indent=1, sort_keys=True)
        print(f"recorded {len(results)} files")
        return
    with open(args.digests) as f:
        before = json.load(f)
    differ = [(name, method) for name in sorted(set(before) | set(results))
              for method in sorted(set(before.get(name, {})) | set(results.get(name, {})))
              if before.get(name, {}).get(method) != results.get(name, {}).get(method)]
    for name, method in differ:
        print(f"differs: {name} {method}")
    print(f"{len(results)} files, {len(differ)} differences")
    sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()
