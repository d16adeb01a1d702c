"""The result of bperp.stack(): the acquisitions, the pairs, the network,
the reference and the grid, each a dict of numpy arrays."""
from __future__ import annotations

import warnings
from typing import Any, Optional

import numpy as np


class Table(dict):
    """Columns of equal length, by name (a dict of numpy arrays): see
    bperp.columns for what each holds. to_pandas() makes a DataFrame (pandas
    needed then only): whole numbers that may be missing (days) as the
    nullable Int64, masked where has_date is False."""

    def to_pandas(self) -> Any:
        import pandas as pd

        frame = pd.DataFrame({k: v for k, v in self.items() if np.ndim(v) == 1})
        if "days" in frame and "has_date" in frame:
            frame["days"] = pd.array(np.where(self["has_date"], self["days"], 0), dtype="Int64")
            frame.loc[~self["has_date"], "days"] = pd.NA
        return frame

    @property
    def rows(self) -> int:
        """The number of rows (of the first axis)."""
        for v in self.values():
            return int(np.shape(v)[0])
        return 0


class PairTable(Table):
    """The pairs: first and second are rows of the acquisitions (first the
    earlier); to_pandas() adds their names and dates."""

    def __init__(self, columns: dict, acquisitions: Table) -> None:
        super().__init__(columns)
        self._acquisitions = acquisitions

    def to_pandas(self) -> Any:
        frame = super().to_pandas()
        for end in ("first", "second"):
            rows = self[end]
            frame.insert(frame.columns.get_loc(end) + 1, end + "_name", self._acquisitions["name"][rows])
            frame.insert(frame.columns.get_loc(end + "_name") + 1, end + "_date", self._acquisitions["date"][rows])
        return frame

    def __reduce__(self) -> Any:
        return (PairTable, (dict(self), self._acquisitions))


class GridTable(Table):
    """Baselines across the scene: each column shaped (acquisitions, lines,
    ranges), the reference's row its own values at each target.
    to_pandas() gives one row per acquisition and target (acquisition,
    line, range and the columns)."""

    def to_pandas(self) -> Any:
        import pandas as pd

        shape = next(iter(self.values())).shape
        index = np.indices(shape).reshape(3, -1)
        data = {"acquisition": index[0], "line": index[1], "range": index[2]}
        data.update({k: np.asarray(v).reshape(-1) for k, v in self.items()})
        return pd.DataFrame(data)


class StackResult:
    """What bperp.stack() computes.

    acquisitions  a Table: the reference as row 0 (reference True), then each
                  secondary in the order given (a file given twice once);
                  refused ones keep their row, error saying why
    pairs         a PairTable of the selected pairs (None without pairs=True):
                  first and second index the acquisitions
    network       a dict: components, component, critical_baseline_m,
                  bridges, and the summary: acquisitions, pairs, parts,
                  pairs_per_acquisition_min, pairs_per_acquisition_mean,
                  max_abs_perpendicular_m, max_abs_days (None without
                  dates), mean_coherence (None without pairs=True)
    reference     a dict of the reference's geometry, the same keys for every
                  kind of reference
    grid          a GridTable of arrays shaped (acquisitions, lines, ranges)
                  (None without grid=)
    warnings      the warnings the run issued (also given to warnings.warn)
    reference_choice  with choose_reference="auto[:CRITERION]": a dict of
                  criterion (the one used), asked, geometry (the name of the
                  acquisition the scores are computed against) and scores,
                  (name, date, score) tuples, the best (chosen) first; else
                  None
    filtered      with start, end, exclude or months: the acquisitions they
                  left out, (name, date, filter) tuples; else None

    Units: m, deg, s, Hz; dates datetime64[D], times datetime64[ns], NaT
    where none. bperp.columns describes every column. A result pickles (its
    arrays; writing files from a loaded one runs the stack again).
    """

    acquisitions: Table
    pairs: Optional[PairTable]
    network: Optional[dict]
    reference: dict
    grid: Optional[GridTable]
    warnings: list
    reference_choice: Optional[dict]
    filtered: Optional[list]

    def __init__(self, acquisitions: Table, pairs: Optional[PairTable], network: Optional[dict],
                 reference: dict, grid: Optional[GridTable], warnings: list, call: Any = None,
                 arguments: Any = None) -> None:
        self.acquisitions = acquisitions
        self.pairs = pairs
        self.network = network
        self.reference = reference
        self.grid = grid
        self.warnings = warnings
        self.reference_choice = None
        self.filtered = None
        self._call = call
        self._arguments = arguments

    def __repr__(self) -> str:
        pairs = "" if self.pairs is None else ", %d pairs" % self.pairs.rows
        return "bperp.StackResult(%d acquisitions%s)" % (self.acquisitions.rows, pairs)

    def __getstate__(self) -> dict:
        state = dict(self.__dict__)
        state["_call"] = None
        return state

    def __setstate__(self, state: dict) -> None:
        self.__dict__.update(state)

    # The dict of earlier versions: result["secondaries"], ...
    def __getitem__(self, key: str) -> Any:
        warnings.warn("result[%r] is deprecated: use result.acquisitions (the reference is row 0), "
                      "result.pairs, result.network, result.reference, result.warnings" % key,
                      DeprecationWarning, stacklevel=2)
        if key == "secondaries":
            return _old_columns(self.acquisitions, slice(1, None))
        if key == "pairs" and self.pairs is not None:
            old = {"first": self.acquisitions["name"][self.pairs["first"]],
                   "second": self.acquisitions["name"][self.pairs["second"]],
                   "first_date": self.acquisitions["date"][self.pairs["first"]],
                   "second_date": self.acquisitions["date"][self.pairs["second"]]}
            old.update(_old_columns(self.pairs, slice(None)))
            del old["has_date"]
            return old
        if key == "network" and self.network is not None:
            return self.network
        if key == "reference":
            return self.reference
        if key == "messages":
            return "\n".join(str(w) for w in self.warnings)
        raise KeyError(key)


def _old_columns(table: Table, rows: slice) -> dict:
    """Columns as earlier versions gave them: whole numbers as float64 with
    NaN where missing."""
    old = {}
    for key, values in table.items():
        if key in ("first", "second", "reference"):
            continue
        values = values[rows]
        if values.dtype == np.int32:
            values = np.where(table["has_date"][rows], values, np.nan) if key == "days" else values.astype(float)
        old[key] = values
    return old
