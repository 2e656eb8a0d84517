"""The README's "From Python" examples run as plain scripts and print what
the README says they print."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import vexfcbl

SOURCE = Path(os.environ.get("VEX_SOURCE_DIR", Path(__file__).resolve().parents[2]))


def examples():
    readme = (SOURCE / "README.md").read_text()
    section = readme.split("\n## From Python\n", 1)[1].split("\n## ", 1)[0]
    # A python block, optionally followed (after a line of prose) by the text
    # block of what it prints.
    blocks = re.findall(r"```python\n(.*?)```\n(?:\n[^`]*?\n\n```text\n(.*?)```)?", section, re.S)
    return blocks


def test_the_section_has_its_examples():
    assert len(examples()) >= 5


@pytest.mark.parametrize("script,output", examples())
def test_example_runs_and_prints_what_the_readme_says(script, output, tmp_path):
    path = tmp_path / "example.py"
    path.write_text(script)
    # The module the tests import, wherever the script runs.
    # vexfcbl_dask from the source tree; it finds vexfcbl-decode by VEXFCBL_DECODE.
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [str(Path(vexfcbl.__file__).resolve().parents[1]), str(SOURCE / "python")]))
    run = subprocess.run([sys.executable, str(path)], capture_output=True, text=True,
                         cwd=tmp_path, env=env, timeout=120)
    assert run.returncode == 0, run.stderr
    if output:
        assert run.stdout == output
