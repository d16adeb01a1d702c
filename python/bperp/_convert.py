"""How a keyword argument of stack() becomes the texts of its option.

By the option's type (a flag, a decimal or whole number, a word, a path),
and for the options whose text has a form of its own (a time, a point, a
grid, an export) by their keyword. The texts are then converted and checked
by the library, as the command's are: this module only checks the Python
types. The annotations here are those of stack()'s signature and stubs.
"""
from __future__ import annotations

import datetime
import numbers
import os
from typing import Any, Callable

import numpy as np

PATH = "str | bytes | os.PathLike[str] | os.PathLike[bytes]"


def is_path(value: Any) -> bool:
    return isinstance(value, (str, bytes)) or hasattr(value, "__fspath__")


def encoded_path(value: Any, what: str) -> bytes:
    """A path as the bytes os.fsencode makes of it; TypeError for another
    type, ValueError for a NUL byte (as open() does)."""
    if not is_path(value):
        raise TypeError("%s must be a path (str, bytes or os.PathLike), not %s" % (what, type(value).__name__))
    path = os.fsencode(value)
    if b"\0" in path:
        raise ValueError("%s holds an embedded null byte" % what)
    return path


def _is_number(value: Any) -> bool:
    return isinstance(value, (numbers.Real, np.integer, np.floating)) and not isinstance(value, (bool, np.bool_))


def _number(keyword: str, value: Any) -> float:
    if not _is_number(value):
        raise TypeError("%s takes a number, not %s" % (keyword, type(value).__name__))
    return float(value)


def _decimal_text(keyword: str, value: Any) -> list[bytes]:
    x = _number(keyword, value)
    if x == float("inf") and keyword.startswith("max_"):
        return [b"1e308"]  # no limit: larger than any length
    return [repr(x).encode()]


def _whole_text(keyword: str, value: Any) -> list[bytes]:
    x = _number(keyword, value)
    if x == float("inf") and keyword.startswith("max_"):
        return []  # no limit: the option left out
    if isinstance(value, (numbers.Integral, np.integer)):
        return [str(int(value)).encode()]
    return [repr(x).encode()]


def _word(keyword: str, value: Any) -> list[bytes]:
    if not isinstance(value, str):
        raise TypeError("%s takes a str, not %s" % (keyword, type(value).__name__))
    return [value.encode("utf-8", "surrogateescape")]


def _flag(keyword: str, value: Any) -> list[bytes]:
    if not isinstance(value, (bool, np.bool_)):
        raise TypeError("%s is a flag: give True or False, not %s" % (keyword, type(value).__name__))
    return [b""] if value else []


def _path(keyword: str, value: Any) -> list[bytes]:
    return [encoded_path(value, keyword)]


def _time_text(keyword: str, value: Any) -> list[bytes]:
    """A UTC time: a str as the command takes it, a datetime (an aware one
    turned to UTC; a naive one taken as UTC), numpy.datetime64 or
    pandas.Timestamp, to the nanosecond."""
    if hasattr(value, "to_datetime64"):
        value = value.to_datetime64()
    if isinstance(value, np.datetime64):
        if np.isnat(value):
            raise ValueError("%s takes a time, not NaT" % keyword)
        return [np.datetime_as_string(value.astype("datetime64[ns]"), unit="ns").encode()]
    if isinstance(value, datetime.datetime):
        if value.tzinfo is not None:
            value = value.astimezone(datetime.timezone.utc).replace(tzinfo=None)
        return [value.isoformat(timespec="microseconds").encode()]
    if isinstance(value, str):
        return _word(keyword, value)
    raise TypeError("%s takes a str, datetime or numpy.datetime64, not %s" % (keyword, type(value).__name__))


def _point_text(keyword: str, value: Any) -> list[bytes]:
    """(latitude, longitude[, height]): degrees and m."""
    if isinstance(value, str):
        return _word(keyword, value)
    try:
        parts = [_number(keyword, v) for v in value]
    except TypeError:
        raise TypeError("%s takes (latitude, longitude[, height]): degrees and m" % keyword) from None
    return [",".join(repr(v) for v in parts).encode()]


def _grid_text(keyword: str, value: Any) -> list[bytes]:
    """(lines, ranges), or 'LINESxRANGES'."""
    if isinstance(value, str):
        return _word(keyword, value)
    try:
        lines, ranges = value
    except (TypeError, ValueError):
        raise TypeError("%s takes (lines, ranges) or 'LINESxRANGES'" % keyword) from None
    return [b"x".join(_whole_text(keyword, v)[0] for v in (lines, ranges))]


def _export_texts(keyword: str, value: Any) -> list[bytes]:
    """[(kind, path), ...]: kind pairs, dates, baselines or stack-folder."""
    if isinstance(value, tuple) and len(value) == 2 and isinstance(value[0], str):
        value = [value]
    texts = []
    for item in value:
        if not (isinstance(item, tuple) and len(item) == 2 and isinstance(item[0], str)):
            raise TypeError("%s takes a list of (kind, path) pairs, not %r" % (keyword, item))
        texts.append(item[0].encode() + b":" + encoded_path(item[1], keyword))
    return texts


# The options whose value has a form of their own: their annotation, their
# conversion and how the docstring names their type.
SPECIAL: dict[str, tuple[str, Callable[[str, Any], list[bytes]], str]] = {
    "at_time": ("str | datetime.datetime | np.datetime64", _time_text, "str, datetime or numpy.datetime64, UTC"),
    "at_point": ("tuple[float, float] | tuple[float, float, float] | str", _point_text,
                 "(latitude, longitude[, height]), deg and m"),
    "grid": ("tuple[int, int] | str", _grid_text, "(lines, ranges)"),
    "exports": ("typing.Sequence[tuple[str, %s]]" % PATH, _export_texts, "[(kind, path), ...]"),
}

# The others by the option's type.
BY_TYPE: dict[str, tuple[str, Callable[[str, Any], list[bytes]], str]] = {
    "flag": ("bool", _flag, "bool"),
    "decimal": ("float", _decimal_text, "float"),
    "whole": ("int", _whole_text, "int"),
    "text": ("str", _word, "str"),
    "choice": ("str", _word, "str"),
    "path": (PATH, _path, "path"),
}


def doc_type(option: dict) -> str:
    """The keyword's type as the docstring names it, with its unit."""
    keyword = option["keyword"]
    if keyword in SPECIAL:
        word = SPECIAL[keyword][2]
    elif option["type"] == "choice":
        word = " or ".join(repr(c) for c in option["choices"])
    else:
        word = BY_TYPE[option["type"]][2]
        if option["repeatable"]:
            word += " or a list of them"
    return word + (", " + option["unit"] if option["unit"] else "")


def annotation(option: dict) -> str:
    """The type of the keyword in stack()'s signature (without its
    default), with its unit where it has one (typing.Annotated)."""
    kind = _annotation(option)
    if option["unit"]:
        return "typing.Annotated[%s, %r]" % (kind, option["unit"])
    return kind


def _annotation(option: dict) -> str:
    keyword = option["keyword"]
    if keyword in SPECIAL:
        return SPECIAL[keyword][0] + " | None"
    if option["type"] == "flag":
        return "bool"
    if option["type"] == "choice":
        return "typing.Literal[%s] | None" % ", ".join(repr(c) for c in option["choices"])
    kind = BY_TYPE[option["type"]][0]
    if option["repeatable"]:
        return "typing.Sequence[%s] | %s | None" % (kind, kind)
    return kind + " | None"


def texts(option: dict, value: Any) -> list[bytes]:
    """The option's texts for value (none for False or an infinite limit);
    TypeError for a value of another type."""
    keyword = option["keyword"]
    if keyword in SPECIAL:
        return SPECIAL[keyword][1](keyword, value)
    convert = BY_TYPE[option["type"]][1]
    if option["repeatable"] and not is_path(value):
        try:
            values = list(value)
        except TypeError:
            raise TypeError("%s takes one value or a list of them, not %s" % (keyword, type(value).__name__)) from None
        return [t for v in values for t in convert(keyword, v)]
    return convert(keyword, value)
