"""Regenerates sample.pdf, the bundled example document, with the library itself."""

from pathlib import Path

import quarvel

PAGES = [
    "quarvel sample document\n\nThis file was written by quarvel.write_text_pdf.\nEach line is set in 12-point Helvetica.",
    "Second page\n\nParentheses (like these) and backslashes \\ are escaped.\nThe end.",
]


def main() -> None:
    data = quarvel.write_text_pdf(PAGES, title="quarvel sample", author="quarvel")
    Path(__file__).with_name("sample.pdf").write_bytes(data)


if __name__ == "__main__":
    main()
