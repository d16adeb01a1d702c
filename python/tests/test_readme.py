"""The README's Python examples run as written (from the top of a clone)
and print what the README says they print."""
import os
import re
import subprocess
import sys

import pytest

import bperp

SOURCE = os.environ["BPERP_SOURCE_DIR"]


def python_section_blocks():
    with open(os.path.join(SOURCE, "README.md")) as f:
        text = f.read()
    section = text[text.index("## Python: the package"):]
    section = section[:section.index("\n## ", 1)]
    blocks = re.findall(r"((?:\n    .*|\n)+)", section)
    return [re.sub(r"^    ", "", b.strip("\n"), flags=re.M) for b in blocks if b.strip()]


def examples():
    blocks = python_section_blocks()
    return [(code, blocks[k + 1] if k + 1 < len(blocks) and "import" not in blocks[k + 1] else "")
            for k, code in enumerate(blocks) if code.startswith("import glob")]


@pytest.mark.parametrize("code,printed", examples())
def test_an_example_runs_as_written(code, printed, tmp_path):
    pytest.importorskip("pandas" if "to_pandas" in code else "matplotlib")
    os.symlink(os.path.join(SOURCE, "examples"), tmp_path / "examples")
    done = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True,
                          env=dict(os.environ, MPLBACKEND="Agg",
                                   PYTHONPATH=os.path.dirname(os.path.dirname(bperp.__file__))))
    assert done.returncode == 0, done.stderr
    for line in printed.splitlines():
        if line.strip() != "...":
            assert line in done.stdout.splitlines()


def test_there_is_a_pandas_and_a_matplotlib_example():
    codes = [code for code, _ in examples()]
    assert any("to_pandas" in c for c in codes) and any("matplotlib" in c for c in codes)
