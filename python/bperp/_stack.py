"""bperp.stack() behind its generated signature, and the exports and the
plot as functions of a result."""
from __future__ import annotations

import os
import warnings
from typing import Any

from . import _bperp
from ._convert import encoded_path, is_path, texts
from ._errors import failure_error
from ._inputs import library_input
from ._result import GridTable, PairTable, StackResult, Table

OPTIONS = tuple(_bperp.options())


def _sequence(secondaries: Any) -> list:
    if is_path(secondaries) or not hasattr(secondaries, "__iter__"):
        raise TypeError("secondaries must be a sequence of paths, bperp.Orbit or bperp.StateVector, not %s"
                        % type(secondaries).__name__)
    return list(secondaries)


def _old_exports(export: Any) -> list:
    """export= of earlier versions: 'KIND:PATH' texts, one or a list."""
    warnings.warn("export= is deprecated: use exports=[(kind, path), ...]", DeprecationWarning, stacklevel=4)
    items = [export] if isinstance(export, (str, bytes, os.PathLike)) else list(export)
    pairs = []
    for item in items:
        text = os.fsdecode(item)
        kind, _, path = text.partition(":")
        pairs.append((kind, path))
    return pairs


def run(reference: Any, secondaries: Any, options: dict, export: Any, categories: dict) -> StackResult:
    """The stack of reference and secondaries with the keyword arguments
    options (None and False: not given), its warnings of the categories by
    kind."""
    arguments = (reference, secondaries, dict(options), export)
    if export is not None:
        options = dict(options)
        options["exports"] = list(options.get("exports") or []) + _old_exports(export)
    given = {}
    for option in OPTIONS:
        value = options.get(option["keyword"])
        if value is None or value is False:
            continue
        given[option["keyword"]] = texts(option, value)
    given = {k: v for k, v in given.items() if v}
    inputs = [library_input(s, k + 1, "a secondary") for k, s in enumerate(_sequence(secondaries))]
    call = _bperp.run_stack(library_input(reference, 0, "reference"), inputs, given)
    if call.failure is not None:
        raise failure_error(call.failure)
    result = _result_of(call, arguments)
    if not options.get("quiet"):
        for warning in result.warnings:
            warnings.warn(warning, stacklevel=3)
    if call.output_failure is not None:
        error = failure_error(call.output_failure)
        error.result = result  # type: ignore[attr-defined]
        raise error
    return result


def _result_of(call: Any, arguments: Any) -> StackResult:
    from ._generated import WARNING_CATEGORIES, SplitNetworkWarning

    acquisitions = Table(call.acquisitions())
    pairs = network = None
    if call.pairs_asked:
        pairs = PairTable(call.pairs(), acquisitions)
        network = call.network()
    grid_columns = call.grid()
    grid = GridTable(grid_columns) if grid_columns else None
    found = [WARNING_CATEGORIES[kind](text) for is_warning, kind, text in call.messages if is_warning]
    if network is not None and network["components"] > 1:
        found.append(SplitNetworkWarning(
            "the pair network is split into %d parts; %d pairs would join them (result.network['bridges'])"
            % (network["components"], len(network["bridges"]["first"]))))
    result = StackResult(acquisitions, pairs, network, call.reference(), grid, found, call, arguments)
    choices = call.choices()
    result.reference_choice = choices["reference_choice"]
    result.filtered = choices["filtered"]
    return result


def _call_of(result: StackResult) -> Any:
    """The run a result was made of, run again for one loaded from a
    pickle."""
    if result._call is None:
        from ._generated import stack

        reference, secondaries, options, export = result._arguments
        options = dict(options, exports=None, plot=None, plot_size=None, html=None, html_paths=None)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            result._call = stack(reference, secondaries, **options)._call
    return result._call


def _write(result: StackResult, keyword: str, text: bytes, more: Any = None) -> None:
    from ._generated import WARNING_CATEGORIES

    failure, notes = _call_of(result).write_output(keyword, text, more or {})
    for note in notes:
        warnings.warn(WARNING_CATEGORIES["stale_export"](note), stacklevel=3)
    if failure is not None:
        raise failure_error(failure)


def export_pairs(result: StackResult, path: Any) -> None:
    """Writes the pairs as CSV (every pair column) to path."""
    _write(result, "exports", b"pairs:" + encoded_path(path, "path"))


def export_dates(result: StackResult, path: Any) -> None:
    """Writes one YYYYMMDD_YYYYMMDD line per pair, the earlier date first."""
    _write(result, "exports", b"dates:" + encoded_path(path, "path"))


def export_baselines(result: StackResult, path: Any) -> None:
    """Writes one REFDATE DATE BPERP DT line per acquisition (m, days)."""
    _write(result, "exports", b"baselines:" + encoded_path(path, "path"))


def export_stack_folder(result: StackResult, path: Any) -> None:
    """Writes PATH/REFDATE_SECDATE/REFDATE_SECDATE.txt per secondary, with
    Bperp (average) and Bpar (average) in m (Bpar minus our parallel)."""
    _write(result, "exports", b"stack-folder:" + encoded_path(path, "path"))


def export_plot(result: StackResult, path: Any, size: Any = None) -> None:
    """Writes the baseline-time plot to path: SVG, PDF or PNG by the name's
    extension (.svg, .pdf, .png). size: "WxHmm" or "WxHpx" (default the
    call's plot_size, else 88x66mm)."""
    more = {}
    if size is not None:
        if not isinstance(size, str):
            raise TypeError("size takes a str such as '88x66mm', not %s" % type(size).__name__)
        more["plot_size"] = [size.encode("utf-8", "surrogateescape")]
    _write(result, "plot", encoded_path(path, "path"), more)


def export_html(result: StackResult, path: Any, paths: bool = False) -> None:
    """Writes the network as an interactive page to path (name ending in
    .html): file names without their folders unless paths."""
    _write(result, "html", encoded_path(path, "path"), {"html_paths": [b""]} if paths else {})

