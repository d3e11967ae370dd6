"""The logging bridge: trace spans and events as Python log records."""

import logging

import pytest
from conftest import text_pdf

import quarvel
import quarvel.log
from quarvel.quarvel import _set_trace_hook


@pytest.fixture
def records():
    caught = []
    handler = logging.Handler(level=1)
    handler.emit = caught.append
    logger = logging.getLogger("quarvel")
    logger.addHandler(handler)
    logger.setLevel(1)
    yield caught
    quarvel.log.disable()
    logger.removeHandler(handler)
    logger.setLevel(logging.NOTSET)


def test_spans_and_events_become_records(records):
    data = text_pdf(["one", "two"])
    quarvel.log.enable("TRACE")
    quarvel.Document(data).text()
    parse = next(r for r in records if r.quarvel_span == "parse" and r.quarvel_elapsed is not None)
    assert (parse.name, parse.levelno, parse.quarvel_fields) == ("quarvel.document", logging.INFO, {"bytes": len(data)})
    assert parse.getMessage().startswith(f"parse bytes={len(data)} elapsed=")
    text = next(r for r in records if r.quarvel_span == "text")
    assert text.quarvel_fields == {"pages": 2}  # recorded after the span opened
    graph = next(r for r in records if r.getMessage().startswith("parsed PDF object graph"))
    assert (graph.levelno, graph.levelname, graph.quarvel_span, graph.quarvel_elapsed) == \
        (quarvel.log.TRACE, "TRACE", "parse", None)
    assert set(graph.quarvel_fields) == {"xref_entries", "objects"}
    assert any(r.name == "quarvel.object" for r in records)  # decoded_data spans

    records.clear()
    quarvel.log.enable(logging.INFO)  # events are dropped inside the library
    quarvel.Document(data)
    assert records and all(r.levelno == logging.INFO for r in records)
    records.clear()
    quarvel.log.disable()
    quarvel.Document(data).text()
    assert records == []


def test_errors_pass_through_unchanged(records):
    quarvel.log.enable("TRACE")
    with pytest.raises(ValueError, match="startxref"):
        quarvel.Document(b"%PDF-1.7\nnothing\n")
    assert any(r.quarvel_span == "parse" for r in records)  # the span closed while unwinding


@pytest.mark.filterwarnings("ignore::pytest.PytestUnraisableExceptionWarning")  # reported as unraisable
def test_failing_callback_does_not_disturb_the_library():
    calls = []

    def callback(*args):
        calls.append(args)
        raise RuntimeError("bad handler")

    _set_trace_hook(callback, 2)
    try:
        assert quarvel.Document(text_pdf(["x"])).page_count() == 1
    finally:
        _set_trace_hook(None, 5)
    assert calls and calls[-1][:3] == (2, "quarvel::document", "parse")
    with pytest.raises(TypeError):
        _set_trace_hook(42, 2)
    with pytest.raises(ValueError):
        quarvel.log.enable("LOUD")
