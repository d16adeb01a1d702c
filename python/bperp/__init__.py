"""bperp: the interferometric baselines of SAR passes, from Python.

stack()     the baselines of a stack against one reference and the pairs of
            its network, as bperp-stack computes them: numpy arrays out
baseline()  the baseline of two passes (or of N pairs), as bperp computes it
read()      what an input file holds

Inputs are paths, or orbits and state vectors in memory (Orbit,
StateVector). Results: StackResult (acquisitions, pairs, network,
reference, grid; bperp.columns says what each column holds); files of a
result: export_pairs(), export_dates(), export_baselines(),
export_stack_folder(), export_plot(), export_html(). Refusals are bperp.Error (OptionError,
InputError: ValueError; FileError: OSError; SplitNetworkError); warnings
bperp.StackWarning.

Every function releases the GIL while it computes and may run in several
threads at once; a StackResult is not changed by any function.
"""
from ._bperp import Baseline, __version__
from ._baseline import Baselines, baseline, read
from ._errors import (Error, FileError, FileIsADirectoryError, FileNotADirectoryError, FilePermissionError,
                      InputError, MissingFileError, OptionError, SplitNetworkError, StackWarning)
from ._generated import *  # noqa: F401,F403 - stack, columns and the warning categories
from ._generated import __all__ as _generated_names
from ._inputs import Orbit, StateVector
from ._result import GridTable, PairTable, StackResult, Table
from ._stack import export_baselines, export_dates, export_html, export_pairs, export_plot, export_stack_folder

__all__ = ["Baseline", "Baselines", "Error", "FileError", "FileIsADirectoryError", "FileNotADirectoryError",
           "FilePermissionError", "GridTable", "InputError", "MissingFileError", "OptionError", "Orbit",
           "PairTable", "SplitNetworkError", "StackResult", "StackWarning", "StateVector", "Table",
           "__version__", "baseline", "export_baselines", "export_dates", "export_pairs", "export_html", "export_plot",
           "export_stack_folder", "read"] + list(_generated_names)

# The public classes are bperp's (in tracebacks, reprs and pickles).
for _name in __all__:
    _value = globals()[_name]
    if isinstance(_value, type) and _value.__module__.startswith("bperp._") and _value.__module__ != "bperp._bperp":
        _value.__module__ = "bperp"
del _name, _value
