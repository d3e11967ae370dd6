"""Opens the bundled sample and prints its version, page count and the text of every page."""

from pathlib import Path

import quarvel


def main() -> None:
    document = quarvel.Document.open(str(Path(__file__).with_name("sample.pdf")))
    major, minor = document.version()
    print(f"PDF version: {major}.{minor}")
    print(f"pages: {document.page_count()}")
    for index, text in enumerate(document.page_texts()):
        print(f"--- page {index + 1} ---")
        print(text, end="" if text.endswith("\n") else "\n")


if __name__ == "__main__":
    main()
