"""Writes the parts of the package bperp that are made from the library's
tables when it is built: stack() with one keyword per option (its type,
default, unit and help), its docstring listing the options and every
column, the warning categories, bperp.columns, and the stubs.

    python3 generate.py PACKAGE_DIR STUB_TEMPLATE

PACKAGE_DIR holds the built bperp/_bperp module and the package's pure
Python files; _generated.py and __init__.pyi are written there.
"""
import os
import runpy
import sys
import textwrap
import types


def load(name, path):
    """The names one file of the package defines, run from its path
    without importing the package."""
    return types.SimpleNamespace(**runpy.run_path(path, run_name=name))


def camel(kind):
    return "".join(part.capitalize() for part in kind.split("_")) + "Warning"


def wrapped(text, indent):
    return textwrap.fill(text, 76, initial_indent=indent, subsequent_indent=indent)


def option_doc(option, convert):
    head = "%s : %s" % (option["keyword"], convert.doc_type(option))
    needs = " Needs %s=True." % option["needs"] if option["needs"] else ""
    return head + "\n" + wrapped(option["help"] + "." * (not option["help"].endswith(".")) + needs, "    ")


def column_docs(title, keys, describe):
    lines = [title]
    for key in keys:
        lines.append("    " + key)
        lines.append(wrapped(describe(key), "        "))
    return "\n".join(lines)


def main():
    package_dir, stub_template = sys.argv[1], sys.argv[2]
    sys.path.insert(0, package_dir)
    sys.modules["bperp._bperp"] = library = __import__("_bperp")
    convert = load("bperp_convert", os.path.join(package_dir, "_convert.py"))
    columns = load("bperp_columns", os.path.join(package_dir, "_columns.py"))

    options = library.options()
    secondary = {c["key"]: c for c in library.secondary_columns()}
    pair = {c["key"]: c for c in library.pair_columns()}
    acquisition_keys = [k for k in secondary if not k.startswith("grid_")] + ["reference", "has_date"]
    pair_keys = ["first", "second"] + [k for k, c in pair.items() if c["part"] == "pair"] + ["has_date"]
    network_keys = ["components", "component"] + [k for k, c in pair.items() if c["part"] == "network"] + [
        "bridges"]

    def described(descriptions, table):
        return lambda key: columns.describe(key, descriptions, table)

    parameters = ["reference: _Input", "secondaries: typing.Sequence[_Input]", "*"]
    for option in options:
        default = "False" if option["type"] == "flag" else "None"
        parameters.append("%s: %s = %s" % (option["keyword"], convert.annotation(option), default))
    parameters.append("export: typing.Any = None")
    signature = "def stack(\n    " + ",\n    ".join(parameters) + ",\n) -> StackResult:"
    keywords = ", ".join('"%s": %s' % (o["keyword"], o["keyword"]) for o in options)

    doc = "\n\n".join([
        "The baselines of a stack, as bperp-stack computes them, and with pairs=True the pairs\n"
        "of its network, called directly (no command line, no JSON), the GIL released.",
        "reference\n    a path (a state-vector, dated orbit, Sentinel-1, SAOCOM, CEOS leader, parameter\n"
        "    or HDF5 file, or a product folder), a bperp.Orbit with an epoch or a bperp.StateVector\n"
        "secondaries\n    a sequence of paths (files of those kinds, or orbit files), bperp.Orbit\n"
        "    or bperp.StateVector; empty: the reference's geometry alone",
        "Options (None or False: not given; a limit max_* of inf: no limit):\n\n" +
        "\n".join(option_doc(o, convert) for o in options) +
        "\nexport : deprecated\n    'KIND:PATH' texts of earlier versions: give exports=[(kind, path)].",
        "Returns a bperp.StackResult, in m, deg, s and Hz; dates datetime64[D], times\n"
        "datetime64[ns] (NaT for none), numbers float64 (NaN for none), texts str.",
        column_docs("acquisitions (a Table; row 0 the reference, then each secondary):", acquisition_keys,
                    described(columns.ACQUISITIONS, secondary)),
        column_docs("pairs (a PairTable, with pairs=True):", pair_keys, described(columns.PAIRS, pair)),
        column_docs("network (a dict, with pairs=True):", network_keys, described(columns.NETWORK, pair)),
        column_docs("reference (a dict):", list(columns.REFERENCE), described(columns.REFERENCE, {})),
        "grid (a GridTable, with grid=): every acquisitions column and grid_x, grid_y, shaped\n"
        "(acquisitions, lines, ranges).",
        "Warnings (warnings.warn, and result.warnings): subclasses of bperp.StackWarning, one\n"
        "per kind (" + ", ".join(camel(k) for k, _ in library.warning_kinds()) + ").",
        "Raises bperp.OptionError (ValueError) for a refused value or combination, naming the\n"
        "keyword; bperp.FileError (an OSError with errno and filename) for a reference, orbit\n"
        "file or output path that can't be used; bperp.InputError (ValueError) for a\n"
        "reference whose content can't be used; bperp.SplitNetworkError with\n"
        "require_connected; TypeError for a value of another type; KeyboardInterrupt on\n"
        "Ctrl-C, promptly.",
    ])

    warning_classes = "\n\n".join(
        "class %s(StackWarning):\n    \"\"\"%s.\"\"\"" % (camel(kind), meaning[0].upper() + meaning[1:])
        for kind, meaning in library.warning_kinds())
    categories = "WARNING_CATEGORIES = {\n" + "".join(
        '    "%s": %s,\n' % (kind, camel(kind)) for kind, _ in library.warning_kinds()) + "}"
    names = ["stack", "columns", "WARNING_CATEGORIES"] + [camel(k) for k, _ in library.warning_kinds()]

    def table_dict(keys, descriptions, table):
        return "{\n" + "".join("        %r: %r,\n" % (k, columns.describe(k, descriptions, table))
                               for k in keys) + "    }"

    column_dict = ("columns = {\n" +
                   "    'acquisitions': %s,\n" % table_dict(acquisition_keys, columns.ACQUISITIONS, secondary) +
                   "    'pairs': %s,\n" % table_dict(pair_keys, columns.PAIRS, pair) +
                   "    'network': %s,\n" % table_dict(network_keys, columns.NETWORK, pair) +
                   "    'reference': %s,\n" % table_dict(list(columns.REFERENCE), columns.REFERENCE, {}) + "}")

    generated = '''"""Made by python/generate.py from the library's tables when the package
is built: do not edit."""
from __future__ import annotations

import datetime
import os
import typing
from typing import Union

import numpy as np

from . import _stack
from ._errors import StackWarning
from ._inputs import Orbit, StateVector
from ._result import StackResult

__all__ = %r

_Input = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]", Orbit, StateVector]

%s

%s

# What each column holds: its unit and sign convention.
%s


%s
    """%s
    """
    return _stack.run(reference, secondaries, {%s}, export, WARNING_CATEGORIES)
''' % (names, warning_classes, categories, column_dict, signature, doc.replace("\n", "\n    "), keywords)
    with open(os.path.join(package_dir, "_generated.py"), "w") as f:
        f.write(generated)

    with open(stub_template) as f:
        stub = f.read()
    stub = stub.replace("@WARNING_CLASSES@", "\n".join(
        "class %s(StackWarning): ..." % camel(k) for k, _ in library.warning_kinds()))
    stub = stub.replace("@STACK@", signature + " ...")
    stub = stub.replace("@GENERATED_NAMES@", ", ".join(repr(n) for n in names))
    with open(os.path.join(package_dir, "__init__.pyi"), "w") as f:
        f.write(stub)


main()
