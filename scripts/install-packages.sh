#!/usr/bin/env bash
# The one list of the Debian packages the project uses, and their install.
#
#   scripts/install-packages.sh run    what building and running bperp needs
#   scripts/install-packages.sh test   everything the test suite builds and runs
#   scripts/install-packages.sh ci     the tests, the sanitizer and fuzz runs
#   scripts/install-packages.sh all    all of it, the benchmarks' tools too
#   scripts/install-packages.sh --list GROUP   print the packages, install nothing
#
# Runs apt-get update and apt-get install -y, through sudo when not root.
set -euo pipefail

# bperp itself: a C++20 compiler and CMake.
run=(cmake g++ make)
# bperp-stack: options, XML products, HDF5 products, zipped products, UTM
# grids; nlohmann-json reads JSON (Capella metadata, the Python module and
# the tests); the plot drawn with cairo (found through pkg-config) in
# DejaVu Sans (found through fontconfig).
stack=(nlohmann-json3-dev libcli11-dev libpugixml-dev libhdf5-dev libgeographiclib-dev libzip-dev
       libcairo2-dev pkg-config fonts-dejavu-core)
# The Python package: the module's build, and pip's install of it into a
# virtual environment (pyproject.toml with setuptools as its backend).
python=(pybind11-dev python3-dev python3-numpy python3-pip python3-venv python3-wheel python3-setuptools)
# The tests: GoogleTest, GeographicLib as the independent geodesy, and the
# tools the tests read outputs back with (SVG, HDF5 dumps, Python's tests;
# mypy's stubtest for the package's stubs, pandas and matplotlib for the
# README's examples, locales for the localedef of the locale test; h5py
# writes hostile HDF5 files; pdfinfo and pdftotext read the plot's PDF
# back).
test_tools=(libgtest-dev libgeographiclib-dev libxml2-utils librsvg2-bin hdf5-tools python3-pytest
            mypy python3-pandas python3-matplotlib locales python3-h5py poppler-utils)
# The network page's test: headless Chromium driven by Selenium.
browser=(chromium chromium-driver python3-selenium)
# Fuzzing and the sanitizer build: clang with libFuzzer and its runtimes.
fuzz=(clang libclang-rt-14-dev)
# Benchmarks and the start-up measurement.
bench=(libbenchmark-dev hyperfine valgrind jq time python3)

group="${1:-}"
list_only=0
if [ "$group" = "--list" ]; then
  list_only=1
  group="${2:-}"
fi
case "$group" in
  run) packages=("${run[@]}") ;;
  test) packages=("${run[@]}" "${stack[@]}" "${python[@]}" "${test_tools[@]}" "${browser[@]}") ;;
  ci) packages=("${run[@]}" "${stack[@]}" "${python[@]}" "${test_tools[@]}" "${browser[@]}" "${fuzz[@]}") ;;
  all) packages=("${run[@]}" "${stack[@]}" "${python[@]}" "${test_tools[@]}" "${browser[@]}" "${fuzz[@]}"
                 "${bench[@]}") ;;
  *)
    echo "usage: $0 [--list] run|test|ci|all" >&2
    exit 2
    ;;
esac

if [ "$list_only" -eq 1 ]; then
  printf '%s\n' "${packages[@]}" | sort -u
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "$0: not root and no sudo: install as root: ${packages[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y $(printf '%s\n' "${packages[@]}" | sort -u)
