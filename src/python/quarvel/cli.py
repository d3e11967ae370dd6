"""The ``quarvel`` command: PDF files, folders or standard input in; text, Markdown,
LLM JSON, metadata, images or updated PDFs out, with whole batches spread over a
pool of processes."""

from __future__ import annotations

import argparse
import json
import os
import re
import sys
from collections.abc import Callable, Iterator, Mapping, Sequence
from pathlib import Path
from typing import Any, NamedTuple

import quarvel

STDIN = "-"


# Plain classes: dataclasses would cost every run of the command tens of milliseconds of imports.
class Source:
    """One input: `path` as the user named it ("-" for standard input), `name` the
    relative path its outputs take below an output folder, `target` the output file (or
    folder, for images; None for standard output), `data` the bytes of standard input."""

    __slots__ = ("path", "name", "target", "data")

    def __init__(self, path: str, name: str, target: str | None = None, data: bytes | None = None) -> None:
        self.path, self.name, self.target, self.data = path, name, target, data


class Outcome:
    """What one input gave: its output, notes for standard error that are not failures,
    or the error that failed it."""

    __slots__ = ("output", "notes", "error")

    def __init__(self, output: bytes = b"", error: str | None = None) -> None:
        self.output, self.error = output, error
        self.notes: list[str] = []


class UsageError(Exception):
    pass


# ---------------------------------------------------------------------------
# Arguments


def page_ranges(text: str) -> list[tuple[int, int | None]]:
    """'1-3,7,10-' as one-based inclusive ranges; an open end runs to the last page."""
    ranges: list[tuple[int, int | None]] = []
    for part in text.split(","):
        match = re.fullmatch(r"\s*(\d+)\s*(?:(-)\s*(\d*)\s*)?", part)
        if not match:
            raise argparse.ArgumentTypeError(f"not a page range: {part.strip()!r} (use forms like 1-3,7,10-)")
        first = int(match[1])
        last = None if match[2] and not match[3] else int(match[3] or first)
        if first < 1 or (last is not None and last < first):
            raise argparse.ArgumentTypeError(f"not a page range: {part.strip()!r} (pages count from 1)")
        ranges.append((first, last))
    return ranges


def selected_pages(document: quarvel.Document, ranges: list[tuple[int, int | None]] | None) -> list[int] | None:
    """Zero-based indices in ascending order; pages past the end are skipped, so one
    range serves a whole batch of documents of different lengths."""
    if ranges is None:
        return None
    # /Count is what the file claims; an open range must not run to a claim of 2**62.
    count = min(document.page_count(), len(document.pages()))
    chosen: set[int] = set()
    for first, last in ranges:
        chosen.update(range(first - 1, min(count, last if last is not None else count)))
    return sorted(chosen)


def positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"expected a whole number of at least 1, got {text!r}")
    return value


def default_jobs() -> int:
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


# ---------------------------------------------------------------------------
# Commands: each turns one open document into its output.


def text_of(text: str) -> bytes:
    return (text if not text or text.endswith("\n") else text + "\n").encode()


def json_line(record: object) -> bytes:
    return (json.dumps(record, ensure_ascii=False) + "\n").encode()


def run_text(document: quarvel.Document, source: Source, args: argparse.Namespace, outcome: Outcome) -> None:
    pages = selected_pages(document, args.pages)
    if args.raw:
        text = document.text() if pages is None else "\n".join(document.page_text(i) for i in pages)
    else:
        text = document.layout_text() if pages is None else "\n".join(document.page_layout_text(i) for i in pages)
    outcome.output = text_of(text)


def run_markdown(document: quarvel.Document, source: Source, args: argparse.Namespace, outcome: Outcome) -> None:
    outcome.output = text_of(document.to_markdown())


def llm_options(args: argparse.Namespace) -> tuple[bool, bool, bool, bool, str]:
    return not args.no_text, not args.no_images, not args.no_links, not args.no_annotations, args.ocr


def run_llm(document: quarvel.Document, source: Source, args: argparse.Namespace, outcome: Outcome) -> None:
    pages = selected_pages(document, args.pages)
    wanted = None if pages is None else set(pages)

    def keep(item: Mapping[str, Any]) -> bool:
        return wanted is None or item["page_index"] in wanted

    if args.jsonl:
        chunks = document.llm_chunks(*llm_options(args))
        outcome.output = b"".join(json_line({"path": source.path, **chunk}) for chunk in chunks if keep(chunk))
        return
    record = document.llm_document(*llm_options(args))
    record["pages"] = [page for page in record["pages"] if keep(page)]
    record["ocr_requests"] = [request for request in record["ocr_requests"] if keep(request)]
    outcome.output = json_line({"path": source.path, **record})


def run_ocr_requests(document: quarvel.Document, source: Source, args: argparse.Namespace,
                     outcome: Outcome) -> None:
    pages = selected_pages(document, args.pages)
    wanted = None if pages is None else set(pages)
    requests = [request for request in document.ocr_requests(ocr=args.ocr)
                if wanted is None or request["page_index"] in wanted]
    if args.jsonl:
        outcome.output = b"".join(json_line({"path": source.path, **request}) for request in requests)
    else:
        outcome.output = json_line({"path": source.path, "ocr_requests": requests})


def run_dump(document: quarvel.Document, source: Source, args: argparse.Namespace, outcome: Outcome) -> None:
    outcome.output = text_of(document.dump_objects())


def info_record(document: quarvel.Document, source: Source) -> dict[str, object]:
    metadata = document.metadata()
    return {
        "path": source.path,
        "version": "%d.%d" % document.version(),
        "effective_version": "%d.%d" % document.effective_version(),
        "pages": document.page_count(),
        "encrypted": metadata["encrypted"],
        "metadata": metadata,
        "page_labels": document.page_labels(),
        "outlines": document.outlines(),
        "embedded_files": document.embedded_files(),
    }


def labels_summary(labels: list[str]) -> str:
    if labels == [str(n) for n in range(1, len(labels) + 1)]:
        return f"1-{len(labels)}" if len(labels) > 1 else "1" if labels else "none"
    shown = labels if len(labels) <= 8 else [*labels[:6], "...", labels[-1]]
    return ", ".join(shown)


def outline_lines(items: list[dict], limit: int = 40) -> Iterator[str]:
    # Depth-first with an explicit stack: the outline may nest deeply.
    stack = [(item, 0) for item in reversed(items)]
    shown = 0
    while stack:
        item, depth = stack.pop()
        if shown == limit:
            yield "    ..."
            return
        shown += 1
        yield "    " + "  " * depth + item["title"]
        stack.extend((child, depth + 1) for child in reversed(item["children"]))


def outline_size(items: list[dict]) -> int:
    count, stack = 0, list(items)
    while stack:
        item = stack.pop()
        count += 1
        stack.extend(item["children"])
    return count


INFO_FIELDS = ["title", "author", "subject", "keywords", "creator", "producer", "creation_date",
               "modification_date", "trapped", "format"]


def run_info(document: quarvel.Document, source: Source, args: argparse.Namespace, outcome: Outcome) -> None:
    record = info_record(document, source)
    if args.json:
        outcome.output = json_line(record)
        return
    metadata: dict = record["metadata"]  # type: ignore[assignment]
    version = record["version"]
    if record["effective_version"] != version:
        version = f"{record['effective_version']} (header {version})"
    rows = [("version", version), ("pages", str(record["pages"])),
            ("encrypted", "yes" if record["encrypted"] else "no")]
    rows += [(key.replace("_", " "), metadata[key]) for key in INFO_FIELDS if metadata[key]]
    rows += [(f"custom {key}", value) for key, value in metadata["custom"].items()]
    if metadata["xmp"] is not None:
        rows.append(("xmp", f"{len(metadata['xmp'])} characters"))
    rows.append(("page labels", labels_summary(record["page_labels"])))  # type: ignore[arg-type]
    outlines: list[dict] = record["outlines"]  # type: ignore[assignment]
    rows.append(("outline", f"{outline_size(outlines)} items" if outlines else "none"))
    lines = [source.path] + [f"  {key:<18}{value}" for key, value in rows]
    lines += outline_lines(outlines)
    files: list[dict] = record["embedded_files"]  # type: ignore[assignment]
    lines.append(f"  {'attachments':<18}{len(files) if files else 'none'}")
    for item in files:
        size = item["declared_size"]
        details = ", ".join(x for x in (item["file_name"], f"{size} bytes" if size is not None else None) if x)
        lines.append(f"    {item['name']}" + (f" ({details})" if details else ""))
    outcome.output = ("\n".join(lines) + "\n").encode()


def safe_name(text: str) -> str:
    return re.sub(r"[^A-Za-z0-9._+-]+", "_", text).strip("._") or "image"


def run_images(document: quarvel.Document, source: Source, args: argparse.Namespace, outcome: Outcome) -> None:
    from .quarvel import _page_image_pnm

    folder = Path(source.target or ".")
    pages = selected_pages(document, args.pages)
    written: set[str] = set()
    for index in range(document.page_count()) if pages is None else pages:
        listed = document.page_images(index)
        if not listed:
            continue
        try:
            pnms: list[bytes | ValueError] = [image["pnm"] for image in document.page_images(index, include_pnm=True)]
        except ValueError:
            # Decoding a page is all or nothing: one image at a time keeps the plain ones.
            pnms = []
            for position in range(len(listed)):
                try:
                    pnms.append(_page_image_pnm(document, index, position))
                except ValueError as error:
                    pnms.append(error)
        for image, pnm in zip(listed, pnms):
            path = image["resource_path"]
            if isinstance(pnm, ValueError):
                outcome.notes.append(f"page {index + 1}: image {path} not written: {pnm}")
                continue
            extension = ".ppm" if pnm.startswith(b"P6") else ".pgm"
            stem = f"page{index + 1}-{safe_name(path.replace('/', '-'))}"
            name, n = stem + extension, 1
            while name in written:  # a form drawn twice lists its images twice
                n += 1
                name = f"{stem}-{n}{extension}"
            written.add(name)
            write_file(folder / name, pnm)
            outcome.output += (str(folder / name) + "\n").encode()


def parse_rect(values: Sequence[str], option: str) -> tuple[int, list[float]]:
    page = positive_int(values[0])
    try:
        rect = [float(v) for v in values[1:5]]
    except ValueError:
        raise argparse.ArgumentTypeError(f"{option}: X0 Y0 X1 Y1 must be numbers") from None
    return page - 1, rect


METADATA_OPTIONS = ["title", "author", "subject", "keywords", "creator", "producer"]


def run_update(document: quarvel.Document, source: Source, args: argparse.Namespace, outcome: Outcome) -> None:
    data: bytes | None = None
    # Each edit is an incremental update of the result of the one before.
    fields = {key: getattr(args, key) for key in METADATA_OPTIONS if getattr(args, key) is not None}
    if fields:
        data = document.with_metadata(**fields)
        document = quarvel.Document(data)
    for values in args.note:
        page, rect = parse_rect(values, "--note")
        data = document.with_text_annotation(page, rect, values[5])
        document = quarvel.Document(data)
    for values in args.link:
        page, rect = parse_rect(values, "--link")
        data = document.with_uri_link(page, rect, values[5])
        document = quarvel.Document(data)
    outcome.output = data if data is not None else document.source_bytes()


class Command(NamedTuple):
    run: Callable[[quarvel.Document, Source, argparse.Namespace, Outcome], None]
    extension: str  # of the output file below -o DIR; "" for a folder per input


def output_extension(args: argparse.Namespace) -> str:
    if args.command == "llm" or args.command == "ocr-requests":
        return ".jsonl" if args.jsonl else ".json"
    if args.command == "info":
        return ".json" if args.json else ".txt"
    return COMMANDS[args.command].extension


COMMANDS = {
    "text": Command(run_text, ".txt"),
    "markdown": Command(run_markdown, ".md"),
    "llm": Command(run_llm, ".json"),
    "info": Command(run_info, ".txt"),
    "ocr-requests": Command(run_ocr_requests, ".json"),
    "dump": Command(run_dump, ".txt"),
    "images": Command(run_images, ""),
    "update": Command(run_update, ".pdf"),
}


# ---------------------------------------------------------------------------
# Inputs and outputs


def is_pdf_name(name: str) -> bool:
    return name.lower().endswith(".pdf")


def find_pdfs(folder: str) -> Iterator[str]:
    """Every *.pdf (any case) below `folder`, in a stable order; symbolic links to
    folders are not followed, so a link cycle cannot loop."""
    for root, folders, files in os.walk(folder):
        folders.sort()
        for name in sorted(files):
            if is_pdf_name(name):
                yield os.path.join(root, name)


def collect_sources(inputs: list[str]) -> list[tuple[str, str]]:
    """(path, relative output name) of every input, folders expanded."""
    found: list[tuple[str, str]] = []
    for item in inputs:
        if item == STDIN:
            if any(path == STDIN for path, _ in found):
                raise UsageError("standard input ('-') can be named only once")
            found.append((STDIN, "stdin"))
        elif os.path.isdir(item):
            found += [(path, os.path.relpath(path, item)) for path in find_pdfs(item)]
        else:
            found.append((item, os.path.basename(item) or item))
    return found


def output_path(folder: str, name: str, extension: str) -> str:
    stem = name[:-4] if is_pdf_name(name) else name
    return os.path.join(folder, stem + extension)


def plan(args: argparse.Namespace) -> list[Source]:
    found = collect_sources(args.inputs)
    extension = output_extension(args)
    output = args.output
    # update's -o names the file itself when there is one input and no such folder.
    single_file = args.command == "update" and len(found) == 1 and output not in (None, STDIN) \
        and not os.path.isdir(output) and not output.endswith(os.sep)
    targets: dict[str, str] = {}
    sources = []
    for path, name in found:
        target = None
        if output not in (None, STDIN):
            target = output if single_file else output_path(output, name, extension)
            if target in targets:
                raise UsageError(f"{targets[target]} and {path} would both write {target}")
            targets[target] = path
            if path != STDIN and os.path.exists(path) and os.path.exists(target) and os.path.samefile(path, target):
                raise UsageError(f"{path} would be overwritten by its own output")
        data = sys.stdin.buffer.read() if path == STDIN else None
        sources.append(Source(path, name, target, data))
    return sources


def write_file(path: str | Path, data: bytes) -> None:
    """Writes whole or not at all: a failing file leaves no half-written output."""
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    temporary = path.with_name(f".{path.name}.{os.getpid()}.tmp")
    try:
        temporary.write_bytes(data)
        os.replace(temporary, path)
    finally:
        temporary.unlink(missing_ok=True)


# ---------------------------------------------------------------------------
# Running one file, and a batch


def process(task: tuple[Source, argparse.Namespace]) -> Outcome:
    """Runs one command on one input; every failure becomes the outcome's message."""
    source, args = task
    outcome = Outcome()
    try:
        document = quarvel.Document(source.data) if source.data is not None else quarvel.Document.open(source.path)
        COMMANDS[args.command].run(document, source, args, outcome)
        if source.target is not None and args.command != "images":
            write_file(source.target, outcome.output)
            outcome.output = b""
    except Exception as error:  # noqa: BLE001 - reported per file; the batch goes on
        outcome.output = b""
        outcome.error = describe(error)
    return outcome


def describe(error: BaseException) -> str:
    if isinstance(error, ValueError):  # the library's own errors: their text is the message
        return str(error)
    if isinstance(error, OSError) and error.strerror:
        return f"{error.strerror}: {error.filename}" if error.filename else error.strerror
    return f"{error} ({type(error).__name__})" if str(error) else type(error).__name__


def configure_logging(verbosity: int) -> None:
    if verbosity <= 0:
        return
    import logging

    from . import log

    level = logging.INFO if verbosity == 1 else log.TRACE
    logging.basicConfig(stream=sys.stderr, level=level, format="%(name)s %(levelname)s %(message)s")
    log.enable(level)


def outcomes(sources: list[Source], args: argparse.Namespace, jobs: int,
             done: Callable[[], None]) -> Iterator[Outcome]:
    """The outcome of every source in input order; `done` is called as each finishes."""
    if jobs <= 1 or len(sources) <= 1:
        for source in sources:
            outcome = process((source, args))
            done()
            yield outcome
        return
    from concurrent.futures import Future, ProcessPoolExecutor, as_completed
    from concurrent.futures.process import BrokenProcessPool

    # Largest files first, so that no big file is left running alone at the end.
    def size(source: Source) -> int:
        try:
            return len(source.data) if source.data is not None else os.stat(source.path).st_size
        except OSError:
            return 0

    order = sorted(range(len(sources)), key=lambda i: -size(sources[i]))
    # Each task carries the options; the input list would make every task as big as the batch.
    args = argparse.Namespace(**{key: value for key, value in vars(args).items() if key != "inputs"})
    with ProcessPoolExecutor(max_workers=min(jobs, len(sources)), initializer=configure_logging,
                             initargs=(args.verbose,)) as pool:
        submitted: dict[int, Future[Outcome]] = {}
        try:
            for i in order:
                submitted[i] = pool.submit(process, (sources[i], args))
            futures = [submitted[i] for i in range(len(sources))]
            next_index = 0
            # One waiter over the whole batch: waiting again and again on the pending
            # set would cost time quadratic in the number of files.
            for _ in as_completed(futures):
                done()
                while next_index < len(futures) and futures[next_index].done():
                    future = futures[next_index]
                    next_index += 1
                    try:
                        yield future.result()
                    except BrokenProcessPool:
                        yield Outcome(error="a worker process died while reading this file")
                    except Exception as error:  # noqa: BLE001 - e.g. a result that cannot be sent back
                        yield Outcome(error=describe(error))
        finally:
            for future in submitted.values():
                future.cancel()


def run_batch(sources: list[Source], args: argparse.Namespace) -> int:
    progress = None
    if len(sources) > 1 and sys.stderr.isatty():
        from tqdm import tqdm  # type: ignore[import-untyped, unused-ignore]

        tqdm.monitor_interval = 0  # no monitor thread beside the pool
        progress = tqdm(total=len(sources), unit="file", file=sys.stderr, dynamic_ncols=True)

    def report(line: str) -> None:
        if progress is not None:
            progress.write(line, file=sys.stderr)
        else:
            print(line, file=sys.stderr, flush=True)

    failed = 0
    stdout = sys.stdout.buffer
    try:
        # Not zip(): the generator must run to its end, where the last completions are counted.
        for index, outcome in enumerate(outcomes(sources, args, args.jobs, progress.update if progress else
                                                 lambda: None)):
            source = sources[index]
            for note in outcome.notes:
                report(f"{source.path}: {note}")
            if outcome.error is not None:
                failed += 1
                report(f"{source.path}: {outcome.error}")
            elif outcome.output:
                stdout.write(outcome.output)
                if progress is not None:
                    stdout.flush()
        stdout.flush()
    finally:
        if progress is not None:
            progress.close()
    return 1 if failed else 0


# ---------------------------------------------------------------------------
# The parser


EXAMPLES = {
    "text": """examples:
  quarvel text report.pdf                      readable text on standard output
  quarvel text --raw --pages 1-3,7 report.pdf  text as stored, pages 1 to 3 and 7
  quarvel text papers/ -o out/                 out/<same tree>/*.txt, one per PDF
  curl -s URL | quarvel text -                 standard input""",
    "markdown": """examples:
  quarvel markdown report.pdf > report.md
  quarvel markdown corpus/ -o markdown/ --jobs 8""",
    "llm": """One JSON object per file: the LLM document (metadata, pages with typed blocks,
OCR requests) with its "path". With --jsonl: one object per page chunk instead.

examples:
  quarvel llm report.pdf --ocr off
  quarvel llm corpus/ --jsonl > chunks.jsonl""",
    "info": """examples:
  quarvel info report.pdf
  quarvel info --json corpus/ > info.jsonl""",
    "ocr-requests": """The pages and images whose text must come from an OCR engine.

examples:
  quarvel ocr-requests scans/ --jsonl""",
    "dump": """examples:
  quarvel dump report.pdf | less""",
    "images": """Each image that decodes (8-bit grey, RGB or CMYK samples behind the PDF
filters; not JPEG) is written as PGM or PPM, named after its page and resource
path: OUT/<input name>/page3-Fm0-Im1.ppm. The written paths are listed.

examples:
  quarvel images report.pdf -o images/ --pages 1-2""",
    "update": """Appends incremental updates; the input file is never changed. PAGE counts
from 1; X0 Y0 X1 Y1 are in PDF points from the lower left corner.

examples:
  quarvel update in.pdf --title "Annual report" --author "A. Writer" -o out.pdf
  quarvel update in.pdf --note 1 72 720 92 740 "Check this" \\
                        --link 1 72 700 200 715 https://example.org -o out.pdf""",
}

DESCRIPTIONS = {
    "text": "Print the readable text of each PDF (--raw: the text as stored in the content).",
    "markdown": "Render each PDF as Markdown.",
    "llm": "Export each PDF as an LLM document: JSON, or JSON lines of page chunks.",
    "info": "Summarise each PDF: version, pages, metadata, labels, outline, attachments, encryption.",
    "ocr-requests": "List what needs OCR in each PDF, as JSON.",
    "dump": "Print every object of each PDF as text.",
    "images": "Write each decodable image of each PDF as a PNM file.",
    "update": "Set metadata, add notes or links: write an incrementally updated copy.",
}


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="quarvel",
        description="Read PDF files fast and strictly: text, Markdown, LLM JSON, metadata, images; "
                    "light edits as incremental updates.",
        epilog="""Inputs are files, folders (searched recursively for *.pdf in any case) or '-'
for standard input. Output goes to standard output, or with -o DIR to one file per
input below DIR, mirroring the input tree. A file that fails prints 'path: message'
on standard error and the batch goes on. Exit status: 0 all files done, 1 some
failed, 2 usage error. Run 'quarvel COMMAND --help' for each command.""",
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--version", action=VersionAction, nargs=0, help="show the version and exit")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    common = argparse.ArgumentParser(add_help=False)
    common.add_argument("inputs", nargs="+", metavar="INPUT", help="PDF file, folder of PDFs, or - for standard input")
    common.add_argument("-j", "--jobs", type=positive_int, default=default_jobs(), metavar="N",
                        help="processes to run in parallel (default: one per core, %(default)s)")
    common.add_argument("-v", "--verbose", action="count", default=0,
                        help="log the library's spans (-v) and events too (-vv) on standard error")
    output = argparse.ArgumentParser(add_help=False)
    output.add_argument("-o", "--output", metavar="DIR",
                        help="write one file per input below DIR instead of standard output")
    pages = argparse.ArgumentParser(add_help=False)
    pages.add_argument("-p", "--pages", type=page_ranges, metavar="RANGES",
                       help="only these pages, counted from 1: e.g. 1-3,7,10- (pages past the end are skipped)")
    ocr = argparse.ArgumentParser(add_help=False)
    ocr.add_argument("--ocr", choices=["auto", "always", "off"], default="auto",
                     help="when to ask for OCR: auto (pages without text, images that may hold text), "
                          "always, off (default: auto)")

    def add(name: str, *parents: argparse.ArgumentParser) -> argparse.ArgumentParser:
        return commands.add_parser(name, parents=[common, *parents], help=DESCRIPTIONS[name],
                                   description=DESCRIPTIONS[name], epilog=EXAMPLES[name],
                                   formatter_class=argparse.RawDescriptionHelpFormatter)

    text = add("text", output, pages)
    text.add_argument("--raw", action="store_true", help="the text as stored, without layout (page_text)")
    add("markdown", output)
    llm = add("llm", output, pages, ocr)
    llm.add_argument("--jsonl", action="store_true", help="one JSON object per page chunk, each with its path")
    for part in ("text", "images", "links", "annotations"):
        llm.add_argument(f"--no-{part}", action="store_true", help=f"leave the {part} blocks out")
    info = add("info", output)
    info.add_argument("--json", action="store_true", help="one JSON record per file instead of a summary")
    requests = add("ocr-requests", output, pages, ocr)
    requests.add_argument("--jsonl", action="store_true", help="one JSON object per request, each with its path")
    add("dump", output)
    images = add("images", pages)
    images.add_argument("-o", "--output", metavar="DIR", required=True, help="folder for the images (required)")
    update = add("update")
    update.add_argument("-o", "--output", metavar="OUT", required=True,
                        help="the updated PDF: a file for one input, else a folder; - for standard output")
    for key in METADATA_OPTIONS:
        update.add_argument(f"--{key}", metavar="TEXT", help=f"set the document's {key}")
    for option, last, what in (("--note", "TEXT", "a text annotation"), ("--link", "URI", "a link to URI")):
        update.add_argument(option, nargs=6, action="append", default=[], help=f"add {what} (repeatable)",
                            metavar=("PAGE", "X0", "Y0", "X1", "Y1", last))
    return parser


class VersionAction(argparse.Action):
    """Looks the version up only when asked: importlib.metadata is slow to import."""

    def __call__(self, parser: argparse.ArgumentParser, namespace: argparse.Namespace, values: object,
                 option_string: str | None = None) -> None:
        from importlib.metadata import PackageNotFoundError, version

        try:
            text = version("quarvel")
        except PackageNotFoundError:  # running from a source tree
            text = "unknown"
        print(f"{parser.prog} {text}")
        parser.exit()


def check(parser: argparse.ArgumentParser, args: argparse.Namespace) -> None:
    """Usage errors that argparse cannot see: reported before any file is read."""
    if args.command == "update":
        if not any(getattr(args, key) is not None for key in METADATA_OPTIONS) and not args.note and not args.link:
            parser.error("update: nothing to do: give --title/--author/..., --note or --link")
        for option, values in [("--note", v) for v in args.note] + [("--link", v) for v in args.link]:
            try:
                parse_rect(values, option)
            except argparse.ArgumentTypeError as error:
                parser.error(f"update {option}: {error}")
    if args.command == "images" and args.output == STDIN:
        parser.error("images: -o needs a folder")


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    check(parser, args)
    try:
        sources = plan(args)
    except UsageError as error:
        parser.error(str(error))
    if args.command == "update" and args.output == STDIN and len(sources) != 1:
        parser.error("update: -o - takes a single input")
    configure_logging(args.verbose)
    try:
        return run_batch(sources, args)
    except BrokenPipeError:
        # The reader went away (quarvel text dir | head): stop quietly.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1
    except KeyboardInterrupt:
        return 130


if __name__ == "__main__":
    sys.exit(main())
