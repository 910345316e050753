"""python/setup.py run by an interpreter that cannot import pybind11 (a venv
without the system's packages here; pyenv or conda in the wild) ends with a
message naming that interpreter and what to use instead, not a traceback."""

import os
import subprocess
import venv

from conftest import ROOT


def test_without_pybind11_names_the_interpreter_to_use(tmp_path):
    venv.create(tmp_path / "bare", with_pip=False, system_site_packages=False)
    python = str(tmp_path / "bare" / "bin" / "python")
    p = subprocess.run([python, os.path.join(ROOT, "python", "setup.py"), "--name"], capture_output=True,
                       text=True, cwd=tmp_path)
    assert p.returncode == 1
    assert "Traceback" not in p.stderr
    assert "needs pybind11, which %s cannot import" % python in p.stderr
    assert "/usr/bin/python3 -m venv --system-site-packages" in p.stderr
