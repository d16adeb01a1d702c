"""The build step of pip install: CMake configures the project for the
Python that runs pip (-DPython3_EXECUTABLE), builds the package bperp
(the compiled module and the files made from the library's tables) in a
folder of its own, never the README's build/ (build-python/, or
$BPERP_PYTHON_BUILD_DIR), and the wheel takes the package from there.
Needs what the CMake build needs (scripts/install-packages.sh test); no
download."""
import os
import re
import shutil
import subprocess
import sys

from setuptools import setup
from setuptools.command.build_ext import build_ext
from setuptools.dist import Distribution

ROOT = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("BPERP_PYTHON_BUILD_DIR", os.path.join(ROOT, "build-python"))


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(bperp VERSION ([0-9.]+)", f.read()).group(1)


class BuildWithCMake(build_ext):
    """Builds bperp with CMake and puts the package into the wheel's tree."""

    def run(self):
        cmake = os.path.join(BUILD, "cmake")
        subprocess.check_call(["cmake", "-S", ROOT, "-B", cmake, "-DCMAKE_BUILD_TYPE=Release", "-DBPERP_TESTS=OFF",
                               "-DPython3_EXECUTABLE=" + sys.executable])
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.check_call(["cmake", "--build", cmake, "--target", "bperp_python_package", "-j", jobs])
        shutil.copytree(os.path.join(cmake, "python", "bperp"), os.path.join(self.build_lib, "bperp"),
                        dirs_exist_ok=True, ignore=shutil.ignore_patterns("__pycache__"))


os.makedirs(BUILD, exist_ok=True)


class BinaryDistribution(Distribution):
    """A wheel for this Python and platform: the package holds a compiled
    module."""

    def has_ext_modules(self):
        return True


setup(
    version=version(),
    cmdclass={"build_ext": BuildWithCMake},
    distclass=BinaryDistribution,
    options={"build": {"build_base": os.path.join(BUILD, "setuptools")},
             "egg_info": {"egg_base": BUILD}},
)
