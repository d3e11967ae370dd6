"""Python `logging` for quarvel's trace spans and events.

The library records what it does as structured trace data (spans such as ``parse``
and ``text``, events such as "parsed xref section") and sends it nowhere until an
application asks for it::

    import logging
    import quarvel.log

    logging.basicConfig(level=logging.INFO)
    quarvel.log.enable()

Records go to the logger ``quarvel`` and its children, one per target: ``quarvel.document``
and ``quarvel.object``. A span is logged once, when it closes, at its own level (INFO),
with its fields and its duration; events are logged at level ``TRACE`` (5), below DEBUG.
Every record carries the attributes ``quarvel_target``, ``quarvel_fields`` (a dict of the
field values: int, str or None), ``quarvel_span`` (the span's name, or for an event the
innermost open span's) and ``quarvel_elapsed`` (seconds for a span, None for an event).
"""

from __future__ import annotations

import logging

from .quarvel import _set_trace_hook

__all__ = ["TRACE", "enable", "disable"]

#: The level of trace events: below DEBUG.
TRACE = 5

# Native levels 0..4 (trace, debug, info, warn, error); 5 is off.
_LEVELS = (TRACE, logging.DEBUG, logging.INFO, logging.WARNING, logging.ERROR)
_OFF = len(_LEVELS)

_loggers: dict[str, logging.Logger] = {}


def enable(level: int | str | None = None) -> None:
    """Send the library's spans and events at `level` and above to `logging`.

    `level` is a logging level (a number, or a name such as "INFO" or "TRACE"); None
    takes the effective level of the ``quarvel`` logger at this call. Data below the
    level is dropped inside the library, before any Python object is built. Calling
    again replaces the level; the logging configuration is read on every record.
    """
    if level is None:
        level = logging.getLogger("quarvel").getEffectiveLevel()
    elif isinstance(level, str):
        level = TRACE if level.upper() == "TRACE" else logging.getLevelName(level.upper())
        if not isinstance(level, int):
            raise ValueError(f"unknown logging level: {level}")
    if logging.getLevelName(TRACE) != "TRACE":
        logging.addLevelName(TRACE, "TRACE")
    native = next((i for i, threshold in enumerate(_LEVELS) if level <= threshold), _OFF)
    _set_trace_hook(_deliver, native)


def disable() -> None:
    """Stop sending trace data: the library is silent again."""
    _set_trace_hook(None, _OFF)


def _logger(target: str) -> logging.Logger:
    logger = _loggers.get(target)
    if logger is None:
        logger = _loggers[target] = logging.getLogger(target.replace("::", "."))
    return logger


def _deliver(level: int, target: str, message: str, fields: dict[str, int | str | None], span: str | None,
             elapsed: float | None) -> None:
    logger = _logger(target)
    python_level = _LEVELS[level] if 0 <= level < _OFF else logging.ERROR
    if not logger.isEnabledFor(python_level):
        return
    text = " ".join([message, *(f"{name}={value}" for name, value in fields.items() if value is not None)])
    if elapsed is not None:
        text += f" elapsed={elapsed * 1000:.3f}ms"
    logger.log(python_level, text, extra={"quarvel_target": target, "quarvel_fields": fields,
                                          "quarvel_span": span, "quarvel_elapsed": elapsed})
