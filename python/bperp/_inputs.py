"""Orbits and state vectors given in memory, alongside paths."""
from __future__ import annotations

import os
from typing import Any, Optional

import numpy as np

from ._convert import encoded_path, is_path


def _finite_array(value: Any, shape: tuple, what: str) -> np.ndarray:
    """value as a read-only C-order float64 array of shape (-1: any
    length); ValueError for another shape or a number that is not
    finite."""
    array = np.array(value, dtype=np.float64, order="C")
    if array.ndim != len(shape) or any(s != -1 and s != n for s, n in zip(shape, array.shape)):
        wanted = "(" + ", ".join("N" if s == -1 else str(s) for s in shape) + ("," if len(shape) == 1 else "") + ")"
        raise ValueError("%s must have the shape %s, not %s" % (what, wanted, array.shape))
    if not np.all(np.isfinite(array)):
        raise ValueError("%s holds a number that is not finite" % what)
    array.flags.writeable = False
    return array


class StateVector:
    """One earth-fixed state vector, as bperp reads it: position (km) and
    velocity (km/s), each three numbers; for stack() optionally its date
    (numpy.datetime64, the day of the acquisition) and a name (how the
    outputs show it)."""

    def __init__(self, position: Any, velocity: Any, date: Any = None, name: Optional[str] = None) -> None:
        self.position = _finite_array(position, (3,), "position")
        self.velocity = _finite_array(velocity, (3,), "velocity")
        self.date: Optional[np.datetime64] = None if date is None else np.datetime64(date, "D")
        self.name = name

    def numbers(self) -> tuple:
        """The six numbers X Y Z (km) VX VY VZ (km/s)."""
        return tuple(float(x) for x in self.position) + tuple(float(x) for x in self.velocity)

    def __repr__(self) -> str:
        return "bperp.StateVector(position=%r, velocity=%r)" % (list(self.position), list(self.velocity))

    def __eq__(self, other: object) -> bool:
        return isinstance(other, StateVector) and self.numbers() == other.numbers() and self.date == other.date

    __hash__ = None  # type: ignore[assignment]


class Orbit:
    """An earth-fixed orbit: times (s, N), positions (m, N x 3) and
    velocities (m/s, N x 3), times strictly increasing, at least four rows
    (the interpolation's); epoch (numpy.datetime64, UTC) the time of t = 0,
    without which the orbit can serve as a secondary only (as an orbit file
    without a date). With an epoch its date is the UTC day of the middle of
    its rows, and it serves as a reference too, as a dated orbit file does.
    name: how the outputs show it."""

    def __init__(self, times: Any, positions: Any, velocities: Any, epoch: Any = None,
                 name: Optional[str] = None) -> None:
        self.times = _finite_array(times, (-1,), "times")
        self.positions = _finite_array(positions, (-1, 3), "positions")
        self.velocities = _finite_array(velocities, (-1, 3), "velocities")
        if not len(self.times) == len(self.positions) == len(self.velocities):
            raise ValueError("times, positions and velocities must have one row each per state vector")
        self.epoch: Optional[np.datetime64] = None if epoch is None else np.datetime64(epoch, "ns")
        if self.epoch is not None and np.isnat(self.epoch):
            raise ValueError("epoch must be a time, not NaT")
        self.name = name

    def __repr__(self) -> str:
        return "bperp.Orbit(%d rows, epoch=%s)" % (len(self.times), self.epoch)

    def __eq__(self, other: object) -> bool:
        return (isinstance(other, Orbit) and self.epoch == other.epoch and self.name == other.name
                and all(np.array_equal(a, b) for a, b in ((self.times, other.times),
                                                           (self.positions, other.positions),
                                                           (self.velocities, other.velocities))))

    __hash__ = None  # type: ignore[assignment]


def library_input(value: Any, index: int, what: str) -> Any:
    """An input of stack() as the library takes it: a path's bytes, or a
    tuple describing an orbit or a state vector made in memory (index names
    one that has no name)."""
    if isinstance(value, Orbit):
        epoch = None if value.epoch is None else int(np.array(value.epoch, dtype="datetime64[ns]").astype(np.int64))
        name = value.name if value.name is not None else "<orbit %d>" % index
        return ("orbit", os.fsencode(name), value.times, value.positions, value.velocities, epoch)
    if isinstance(value, StateVector):
        day = None if value.date is None else int(np.array(value.date, dtype="datetime64[D]").astype(np.int64))
        name = value.name if value.name is not None else "<state vector %d>" % index
        return ("state_vector", os.fsencode(name), value.position, value.velocity, day)
    if is_path(value):
        return encoded_path(value, what)
    raise TypeError("%s must be a path, a bperp.Orbit or a bperp.StateVector, not %s" % (what, type(value).__name__))
