"""Builds the fullstop Python package straight from the C++ sources beside it.

No CMake and no installed libfullstop: the extension (which uses the public
C API of ../include/fullstop/fullstop.h only) is linked with the library's
sources, as ../src/libfullstop.sources lists them for CMakeLists.txt too; the
bundled models are copied into the package, and the version comes from
the top CMakeLists.txt.  Everything it
needs is in Debian (python3-setuptools, python3-pybind11, python3-dev), so
`pip install --no-build-isolation ./python` works without a package index.
"""

import os
import re
import shutil
import sys

try:
    from pybind11.setup_helpers import Pybind11Extension, build_ext
except ImportError:
    # The usual cause: another python3 (pyenv, conda, a venv without the
    # system's packages) first on PATH, which cannot see Debian's pybind11.
    debian = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(debian) and os.path.exists(debian):
        use = ("use Debian's interpreter, %s, which sees python3-pybind11 (apt-get install "
               "python3-pybind11):\n  %s -m pip install --no-index --no-build-isolation ./python\n"
               "or a venv made with `%s -m venv --system-site-packages`" % (debian, debian, debian))
    elif sys.prefix != sys.base_prefix:
        use = ("this venv does not see the system's packages: make it with `%s -m venv "
               "--system-site-packages`" % debian)
    else:
        use = "install Debian's python3-pybind11 (apt-get install python3-pybind11)"
    sys.exit("fullstop: building the Python package needs pybind11, which %s cannot import; %s"
             % (sys.executable, use))
from setuptools import setup
from setuptools import setup

here = os.path.dirname(os.path.abspath(__file__))
top = os.path.dirname(here)


def rel(*parts):
    # setuptools wants paths relative to this folder.
    return os.path.relpath(os.path.join(top, *parts), here)


with open(os.path.join(top, "CMakeLists.txt"), encoding="utf-8") as f:
    version = re.search(r"project\(\s*fullstop\s+VERSION\s+([0-9.]+)", f.read()).group(1)

# What CMake would generate from src/version.h.in.
generated = os.path.join(here, "build", "generated")
os.makedirs(generated, exist_ok=True)
with open(os.path.join(top, "src", "version.h.in"), encoding="utf-8") as f:
    header = f.read().replace("@PROJECT_VERSION@", version)
version_h = os.path.join(generated, "version.h")
if not os.path.exists(version_h) or open(version_h, encoding="utf-8").read() != header:
    with open(version_h, "w", encoding="utf-8") as f:
        f.write(header)

# The bundled models ship inside the package (en.model is the default).
for name in sorted(os.listdir(os.path.join(top, "models"))):
    if name.endswith(".model"):
        shutil.copyfile(os.path.join(top, "models", name), os.path.join(here, "fullstop", name))
with open(os.path.join(here, "fullstop", "_version.py"), "w", encoding="utf-8") as f:
    f.write(f'__version__ = "{version}"\n')
    # Where the package was built from: fullstop.adapt() runs that checkout's
    # scripts/adapt-model when no fullstop-adapt is installed.
    f.write(f'SOURCE_TREE = {top!r}\n')

# The library's sources (the core and the C API): the list CMakeLists.txt
# builds libfullstop from, so the two builds never drift apart.
with open(os.path.join(top, "src", "libfullstop.sources"), encoding="utf-8") as f:
    library = [line.strip() for line in f if line.strip() and not line.startswith("#")]
extension = Pybind11Extension(
    "fullstop._fullstop",
    ["fullstop/_fullstop.cpp"] + [rel("src", path) for path in library],
    include_dirs=[os.path.relpath(generated, here), rel("src"), rel("include")],
    cxx_std=20,
    extra_compile_args=["-O2", "-g0"],
    define_macros=[("FULLSTOP_BUILDING_LIBRARY", "1")],
)

setup(
    name="fullstop",
    version=version,
    description="Fast sentence-boundary detection",
    packages=["fullstop"],
    package_data={"fullstop": ["*.model", "py.typed", "*.pyi"]},
    ext_modules=[extension],
    cmdclass={"build_ext": build_ext},
    python_requires=">=3.9",
    zip_safe=False,
)
