"""docs/python.md's worked example, run as written."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

DOC = Path(__file__).resolve().parents[2] / "docs" / "python.md"


def test_worked_example_runs_as_written(tmp_path):
    pytest.importorskip("matplotlib", reason="python3-matplotlib is not installed: "
                        "the worked example of docs/python.md is not run")
    blocks = re.findall(r"```python\n(.*?)```", DOC.read_text(), re.S)
    assert len(blocks) == 1
    done = subprocess.run([sys.executable, "-c", blocks[0]], cwd=tmp_path, env=os.environ,
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    # Every 5,000th of 200,000 readings: 39 spikes and the last one, which ends the run.
    assert "spike: 39 events" in done.stdout, done.stdout
    assert (tmp_path / "python-example.png").stat().st_size > 10_000
    assert (tmp_path / "glitches.h5").exists()
