"""Every Python block of the README runs as written, from a folder that holds the repository's
scenarios and studies (the README's commands run from its top); "HOST:8786" is a scheduler
started here."""
import os
import re

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _blocks():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as file:
        text = file.read()
    return re.findall(r"```python\n(.*?)```", text, flags=re.S)


@pytest.mark.parametrize("code", _blocks(), ids=lambda code: code.splitlines()[-1][:40])
def test_readme_block_runs_as_written(code, tmp_path, monkeypatch, request):
    for folder in ("scenarios", "studies"):
        os.symlink(os.path.join(ROOT, folder), tmp_path / folder)
    if "HOST:8786" in code:
        code = code.replace("tcp://HOST:8786", request.getfixturevalue("dask_cluster"))
    monkeypatch.chdir(tmp_path)
    exec(compile(code, "README.md", "exec"), {"__name__": "readme"})
