"""The package as installed: what `import quarvel` loads, and the stub against the module."""

import importlib.util
import pathlib
import subprocess
import sys

import pytest


def test_import_stays_lean():
    code = ("import sys, quarvel; print(sorted(m for m in sys.modules if m.startswith('quarvel') or m in "
            "('tqdm', 'logging', 'argparse', 'ray')))")
    loaded = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert loaded.strip() == "['quarvel', 'quarvel.quarvel']"


@pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")
def test_stub_matches_the_module(tmp_path):
    allowlist = pathlib.Path(__file__).with_name("stubtest_allowlist.txt")
    # The Ray module imports pyarrow, which only the ray extra installs.
    config = tmp_path / "mypy.ini"
    config.write_text("[mypy]\nignore_missing_imports = True\n")
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "quarvel", "--allowlist", str(allowlist),
                             "--mypy-config-file", str(config)], capture_output=True, text=True, cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
