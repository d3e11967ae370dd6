"""Converts a folder or object-store prefix of PDFs to Parquet with Ray Data.

    pip install 'quarvel[ray]'
    python examples/ray_pipeline.py ../shared/corpus out/markdown
    python examples/ray_pipeline.py s3://bucket/papers/ s3://bucket/chunks/ --what llm-chunks
    python examples/ray_pipeline.py papers/ out/ --address auto      # an existing cluster

Each output row is one file (text, markdown) or one page chunk (llm-chunks); a file
that fails is a row whose `error` column holds the message, so one damaged PDF never
fails the job. Without --address a local cluster is started on this machine's cores.
"""

from __future__ import annotations

import argparse

import ray

import quarvel.ray

CONVERSIONS = {
    "markdown": (quarvel.ray.markdown, {}),
    "text": (quarvel.ray.text, {}),
    "raw-text": (quarvel.ray.text, {"raw": True}),
    "llm-chunks": (quarvel.ray.llm_chunks, {"ocr": "auto"}),
}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("source", help="folder, file or object-store prefix (s3://, gs://, ...) holding PDFs")
    parser.add_argument("destination", help="folder or object-store prefix for the Parquet files")
    parser.add_argument("--what", choices=CONVERSIONS, default="markdown", help="what each row holds")
    parser.add_argument("--address", help="Ray cluster to join (default: start one here)")
    parser.add_argument("--batch-size", type=int, default=16, help="files per task")
    args = parser.parse_args()

    ray.init(address=args.address)
    function, options = CONVERSIONS[args.what]
    dataset = quarvel.ray.read_pdfs(args.source).map_batches(function, fn_kwargs=options, batch_size=args.batch_size)
    dataset.write_parquet(args.destination)
    failed = dataset_errors(args.destination)
    print(f"wrote {args.destination}" + (f"; {failed} file(s) failed, see the error column" if failed else ""))


def dataset_errors(destination: str) -> int:
    rows = ray.data.read_parquet(destination, columns=["path", "error"]).iter_rows()
    return len({row["path"] for row in rows if row["error"] is not None})


if __name__ == "__main__":
    main()
