"""pip install --no-build-isolation of the clone into a fresh virtual
environment (with the system's site packages, for numpy), and the package
imported from it gives what the build tree's gives.

    python3 pip_install.py SOURCE_DIR WORK_DIR

The build goes to WORK_DIR (BPERP_PYTHON_BUILD_DIR), nothing into the
clone; no download (--no-index)."""
import os
import shutil
import subprocess
import sys

source, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
venv = os.path.join(work, "venv")
subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", venv], check=True)
python = os.path.join(venv, "bin", "python")
env = dict(os.environ, BPERP_PYTHON_BUILD_DIR=os.path.join(work, "build"),
           CMAKE_BUILD_PARALLEL_LEVEL=os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2"))
env.pop("PYTHONPATH", None)
before = sorted(os.listdir(source))
subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index", "--no-cache-dir", "-q", source],
               env=env, check=True, cwd=work)
assert sorted(os.listdir(source)) == before, "the install wrote into the clone"

check = """
import glob, os, sys, bperp
assert bperp.__file__.startswith(sys.prefix), bperp.__file__
folder = os.path.dirname(bperp.__file__)
assert all(os.path.exists(os.path.join(folder, f)) for f in ("py.typed", "__init__.pyi"))
r = bperp.stack(sys.argv[1], sorted(glob.glob(sys.argv[2])), pairs=True)
print(bperp.__version__, r.pairs.rows, *map(float.hex, r.acquisitions["perpendicular_m"]))
# The programs and modules the library starts or loads, beside it.
print(sorted(f for f in os.listdir(folder) if f.startswith("bperp-")))
"""
args = [os.path.join(source, "examples", "stack", "reference.txt"), os.path.join(source, "examples", "stack", "2*")]
installed = subprocess.run([python, "-c", check] + args, env=env, capture_output=True, text=True, cwd=work)
assert installed.returncode == 0, installed.stderr
built = subprocess.run([sys.executable, "-c", check.replace("sys.prefix", "''")] + args, capture_output=True,
                       text=True)
assert installed.stdout == built.stdout, (installed.stdout, built.stdout, built.stderr)
print("installed:", installed.stdout.split()[:2])
