"""Loads every corpus file in a child process per folder, so that a crash or a hang
fails with the file's name instead of taking pytest down."""

import csv
import json
import subprocess
import sys

import pytest

from conftest import corpus_dir

CORPUS = corpus_dir()
# Not damaged by the manifest's measure, but refused by the strict loader on purpose.
KNOWN_REFUSALS = {"pdfjs/bug1782186.pdf": "unexpected keyword endobj"}  # empty indirect objects


def manifest() -> list[dict[str, str]]:
    path = CORPUS / "manifest.tsv"
    if not path.is_file():
        return []
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.DictReader(f, delimiter="\t"))


ROWS = manifest()


def probe(paths: list[str]) -> None:
    """Child side: one JSON line before and one after each file."""
    import quarvel

    for path in paths:
        print(json.dumps({"begin": path}), flush=True)
        result = {"file": path}
        try:
            document = quarvel.Document.open(path)
            result["objects"] = document.object_count()
            try:  # reading on must not crash either; errors here are allowed
                document.pages()
                document.page_texts()
            except ValueError as error:
                result["read_error"] = str(error)
        except ValueError as error:
            result["error"] = str(error)
        except Exception as error:  # noqa: BLE001 - anything but ValueError is a fault
            result["fault"] = f"{type(error).__name__}: {error}"
        print(json.dumps(result), flush=True)


@pytest.mark.skipif(not ROWS, reason="corpus not available")
@pytest.mark.parametrize("group", sorted({row["file"].split("/")[0] for row in ROWS}) or ["none"])
def test_corpus_group(group):
    rows = {str(CORPUS / row["file"]): row for row in ROWS if row["file"].startswith(group + "/")}
    try:
        child = subprocess.run([sys.executable, __file__, *rows], capture_output=True, text=True, timeout=300)
        output, status = child.stdout, child.returncode
    except subprocess.TimeoutExpired as timeout:
        output, status = timeout.stdout or "", "timeout"
        output = output.decode(errors="replace") if isinstance(output, bytes) else output
    records = [json.loads(line) for line in output.splitlines()]
    results = {record["file"]: record for record in records if "file" in record}
    last = next((record["begin"] for record in reversed(records) if "begin" in record), None)
    problems = [f"child died or hung ({status}) on {last}"] if status else []
    for path, record in results.items():
        name, row = rows[path]["file"], rows[path]
        if "fault" in record:
            problems.append(f"{name}: {record['fault']}")
        elif name in KNOWN_REFUSALS:
            if KNOWN_REFUSALS[name] not in record.get("error", ""):
                problems.append(f"{name}: expected refusal with {KNOWN_REFUSALS[name]!r}, got {record}")
        elif group != "broken" and row["encrypted"] != "yes-userpw" and not record.get("objects"):
            problems.append(f"{name}: does not load: {record.get('error')}")
        if "error" in record or "read_error" in record:
            print(f"{name}: {record.get('error') or 'reading: ' + record['read_error']}")
    assert not problems, "\n".join(problems)


if __name__ == "__main__":
    probe(sys.argv[1:])
