# The extension module itself; the package `quarvel` re-exports its public names.
from collections.abc import Callable

from quarvel import Document as Document
from quarvel import write_text_pdf as write_text_pdf

__all__ = ["Document", "write_text_pdf"]

def _set_trace_hook(
    callback: Callable[[int, str, str, dict[str, int | str | None], str | None, float | None], object] | None,
    level: int,
) -> None: ...
def _page_image_pnm(document: Document, index: int, position: int) -> bytes: ...
