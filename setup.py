"""What pip compiles for the bsv2 module, beside pyproject.toml.

The library's, the output module's and the Python module's sources come
from the lists the CMake build reads (shape/, output/ and python/sources.txt), and the version from the
project's one statement of it, project(bsv2 VERSION ...) in CMakeLists.txt,
which also fills in the library's version header here as CMake would.
Intermediate files go to build-python/, away from CMake's build folders.
"""
import os
import re

from pybind11.setup_helpers import Pybind11Extension
from setuptools import setup

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = "build-python"


def listed(folder):
    with open(os.path.join(HERE, folder, "sources.txt")) as sources:
        names = [line.strip() for line in sources if line.strip() and not line.startswith("#")]
    return [os.path.join(folder, name) for name in names]


def project_version():
    with open(os.path.join(HERE, "CMakeLists.txt")) as cmake:
        found = re.search(r"project\(bsv2\s+VERSION\s+(\d+)\.(\d+)\.(\d+)", cmake.read())
    if not found:
        raise RuntimeError("no project(bsv2 VERSION ...) in CMakeLists.txt")
    return found.groups()


def version_header(major, minor, patch):
    """Writes bsv2_version.h from its template; returns the folder it is in."""
    with open(os.path.join(HERE, "shape", "bsv2_version.h.in")) as template:
        text = template.read()
    for name, value in (("MAJOR", major), ("MINOR", minor), ("PATCH", patch)):
        text = text.replace("@PROJECT_VERSION_%s@" % name, value)
    text = text.replace("@PROJECT_VERSION@", "%s.%s.%s" % (major, minor, patch))
    folder = os.path.join(BUILD, "include")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "bsv2_version.h"), "w") as header:
        header.write(text)
    return folder


version = project_version()
module = Pybind11Extension(
    "bsv2",
    sources=listed("python") + listed("shape") + listed("output"),
    include_dirs=["shape", "output", version_header(*version)],
    cxx_std=17,
)
setup(
    version=".".join(version),
    ext_modules=[module],
    options={"build": {"build_base": BUILD}, "egg_info": {"egg_base": BUILD}},
)
