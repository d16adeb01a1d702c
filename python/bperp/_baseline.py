"""bperp.baseline() and bperp.read(): bperp's computation of one pair or of
N pairs at once (km, km/s, as bperp reads and prints them), and what an
input file holds."""
from __future__ import annotations

import numbers
from typing import Any

import numpy as np

from . import _bperp
from ._convert import is_path
from ._errors import translated
from ._inputs import StateVector
from ._result import Table


class Baselines(Table):
    """The baselines of N pairs: the numbers of bperp.Baseline as arrays (km,
    km/s, rad, Hz; scene_point N x 3), NaN where a pair's status is not
    "ok"; status the reason ("inside_earth", ...). Read as a dict or by
    attribute (r.parallel)."""

    def __getattr__(self, key: str) -> Any:
        try:
            return self[key]
        except KeyError:
            raise AttributeError(key) from None


def _six(value: Any, what: str) -> Any:
    """A path as it is, or a state vector's six numbers as a float64 array
    of shape (6,) or (N, 6); TypeError for anything else."""
    if is_path(value):
        return value
    if isinstance(value, StateVector):
        return np.array(value.numbers())
    if isinstance(value, np.ndarray):
        if value.dtype.kind not in "fiu":
            raise TypeError("%s must hold numbers, not %s" % (what, value.dtype))
        array = value.astype(np.float64)
    else:
        try:
            rows = list(value)
        except TypeError:
            raise TypeError("%s must be a path, a bperp.StateVector or six numbers "
                            "(X Y Z km, VX VY VZ km/s), not %s" % (what, type(value).__name__)) from None
        flat = [x for row in rows for x in (row if np.ndim(row) == 1 else [row])]
        for x in flat:
            if not isinstance(x, (numbers.Real, np.integer, np.floating)) or isinstance(x, (bool, np.bool_)):
                raise TypeError("%s holds a %s where a number belongs" % (what, type(x).__name__))
        array = np.array(rows, dtype=np.float64)
    if array.shape[-1:] != (6,) or array.ndim > 2:
        raise TypeError("%s must hold six numbers (X Y Z km, VX VY VZ km/s) per state vector, not the shape %s"
                        % (what, array.shape))
    return array


def baseline(master: Any, slave: Any) -> Any:
    """The baseline of two passes, as the bperp command computes it.

    master, slave: state-vector files (paths), bperp.StateVector, or six
        numbers X Y Z (km) VX VY VZ (km/s), earth-fixed.
    Returns a bperp.Baseline: parallel and perpendicular (km, exactly the
    numbers bperp prints before rounding), the slant range, the scene point,
    the Doppler values and the angles; it pickles.

    For N pairs give (N, 6) arrays (or one (6,) array or StateVector against
    N): returns Baselines, a dict of arrays of the same numbers, NaN and the
    reason in status where a pair is refused.

    Raises bperp.FileError (an OSError: FileNotFoundError, ...) for a file
    that can't be opened, bperp.InputError (a ValueError, with bperp's
    message) for refused content or geometry, TypeError for arguments of
    another type.
    """
    a, b = _six(master, "master"), _six(slave, "slave")
    if np.ndim(a) == 2 or np.ndim(b) == 2:
        if is_path(a) or is_path(b):
            raise TypeError("baseline() of (N, 6) arrays takes arrays or StateVector on both sides, not paths")
        a, b = np.broadcast_arrays(np.asarray(a), np.asarray(b))
        return Baselines(_bperp.baseline_arrays(np.ascontiguousarray(a), np.ascontiguousarray(b)))
    try:
        return _bperp.baseline_pair(a if is_path(a) else tuple(a), b if is_path(b) else tuple(b))
    except (OSError, ValueError) as error:
        raise translated(error) from None


def read(path: Any) -> dict:
    """What an input file holds: 'kind', 'date', the orbit's 'position' and
    'velocity' (N x 3, m and m/s, earth-fixed; one row for a state vector)
    and 'time' (datetime64[ns] on UTC, or seconds on the file's own scale),
    and for a product its mission, orbit, pass, swath, radar frequency (Hz),
    look side, first and last line times, near and far slant range (m),
    bandwidths (Hz), line interval (s) and burst times. A Sentinel-1 orbit
    file (*.EOF) gives its mission, file type, validity (datetime64[ns]) and
    its vectors the same way. Raises bperp.FileError (an OSError) for a file
    that can't be opened, bperp.InputError (a ValueError) for refused
    content."""
    try:
        return _bperp.read(path)
    except (OSError, ValueError) as error:
        raise translated(error) from None
