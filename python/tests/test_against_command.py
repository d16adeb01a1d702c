"""The package against the command on every recorded case of
scripts/outputs.sh: the same numbers bit for bit (JSON and CSV), the same
files written, the same warnings and the same refusals (named by the
keywords), each case run through bperp.stack() with the command line's
options as keyword arguments."""
import csv
import io
import json
import os
import re
import shutil
import subprocess
import warnings

import numpy as np
import pytest

import bperp
from bperp import _bperp

SOURCE = os.environ["BPERP_SOURCE_DIR"]
EXPECTED = os.path.join(SOURCE, "tests", "outputs", "expected")
OPTIONS = {name: o for o in _bperp.options() for name in [o["name"]] + o["aliases"]}
PREFIX = "bperp-stack: "


def recorded_cases():
    lines = subprocess.run(["bash", os.path.join(SOURCE, "scripts", "outputs.sh"), "cases"],
                           capture_output=True, text=True, check=True).stdout.splitlines()
    cases = [line.split("|") for line in lines]
    return [(c[0], c[2:]) for c in cases if c[1] == "bperp-stack"]


@pytest.fixture(scope="module")
def work(tmp_path_factory):
    """The record's folder: copies of examples/ and tests/data/, and the rest the cases find."""
    folder = tmp_path_factory.mktemp("cases")
    subprocess.run(["bash", os.path.join(SOURCE, "scripts", "outputs.sh"), "prepare", str(folder)], check=True)
    return folder


def keywords_of(args):
    """The command line as stack()'s arguments: (format, reference,
    secondaries, keywords); None for a case with no such call (--help,
    --list)."""
    fmt, positional, keywords, k = "table", [], {}, 0
    while k < len(args):
        arg = args[k]
        k += 1
        if arg == "--":
            positional += args[k:]
            break
        if not arg.startswith("--"):
            positional.append(arg)
            continue
        name, joined, value = arg.partition("=")
        if name in ("--help", "--list"):
            return None
        option = OPTIONS.get(name)
        if name == "--format" or (option is not None and option["type"] != "flag" and not joined):
            value, k = args[k], k + 1
        if name == "--format":
            fmt = value
            continue
        if option is None:
            keywords[name[2:].replace("-", "_")] = value
            continue
        python = True if option["type"] == "flag" else python_value(option, value)
        if option["repeatable"]:
            keywords.setdefault(option["keyword"], []).append(python)
        else:
            keywords[option["keyword"]] = python
    return fmt, positional[0] if positional else None, positional[1:], keywords


def python_value(option, text):
    if option["keyword"] == "exports":
        kind, _, path = text.partition(":")
        return (kind, path)
    for convert in {"decimal": [float], "whole": [int, float]}.get(option["type"], []):
        try:
            return convert(text)
        except ValueError:
            pass
    return text


def keyword_names(text):
    """A message of the command with the keywords for its options."""
    for name in sorted(OPTIONS, key=len, reverse=True):
        text = re.sub(re.escape(name) + r"(?![a-z0-9-])", OPTIONS[name]["keyword"], text)
    return text


def is_missing(value):
    if value is None:  # an object column (True, False or None)
        return True
    if isinstance(value, str):
        return value == ""
    if isinstance(value, np.datetime64):
        return bool(np.isnat(value))
    return bool(np.isnan(value))


def assert_row(expected, table, i):
    """A JSON object (or CSV row) against row i of the module's table; the
    grid's columns, in the acquisitions only for a grid, are null there."""
    for key, value in expected.items():
        if key not in table:
            assert value is None, key
            continue
        dated = table["has_date"][i] if key == "days" else True
        assert_cell(int(value) if key == "days" and value is not None else value, table[key][i], key, dated)


def assert_cell(expected, got, key, dated=True):
    """One JSON value (or CSV text turned so) against the array's element."""
    if expected is None:
        assert (not dated) if key == "days" else is_missing(got), key
    elif key == "date" or key.endswith("_date"):
        assert got == np.datetime64(expected), key
    elif key.endswith("_time"):
        assert got == np.datetime64(expected.rstrip("Z")), key
    elif isinstance(got, (bool, np.bool_)):
        assert got == (expected in (True, "true")), key
    elif isinstance(expected, (int, float)):
        assert float(got) == float(expected), key
    else:
        assert got == keyword_names(expected), key


def reference_expected(ref):
    """The module's reference keys and values for the JSON's reference."""
    if ref["geometry"] == "beam":
        point = ref["scene_point"]
        return {"slant_range_m": ref["slant_range_km"] * 1000.0, "latitude_deg": point["latitude_deg"],
                "longitude_deg": point["longitude_deg"], "height_m": point["height_m"],
                "x_m": point["x_km"] * 1000.0, "y_m": point["y_km"] * 1000.0, "z_m": point["z_km"] * 1000.0,
                "incidence_deg": ref["incidence_deg"], "look_angle_deg": ref["off_nadir_deg"],
                "doppler_centroid_hz": ref["doppler_centroid_hz"], "wavelength_m": ref["wavelength_m"],
                "doppler_rate_hz_per_s": ref["doppler_rate_hz_per_s"], "name": ref["name"]}
    same = ["name", "kind", "mission", "absolute_orbit", "relative_orbit", "pass", "swath", "polarisation", "burst_id",
            "latitude_deg", "longitude_deg", "height_m", "look_side", "look_angle_deg", "incidence_deg",
            "heading_deg", "wavelength_m", "wavelength_source", "orbit_source", "interpolation_error_m"]
    out = {k: ref[k] for k in same}
    out.update({"slant_range_m": ref["reference_slant_range_m"], "x_m": ref["x_km"] * 1000.0,
                "y_m": ref["y_km"] * 1000.0, "z_m": ref["z_km"] * 1000.0})
    out["time"] = np.datetime64(ref["reference_time"].rstrip("Z")) if ref["reference_time"] else None
    return out


def secondary_rows(result):
    """The module's rows in the order of the command's: each secondary, or
    each secondary at each grid point; (table, row index) per row."""
    a = result.acquisitions
    if result.grid is None:
        return [(a, k) for k in range(1, a.rows)]
    points = result.grid["parallel_m"][0].size
    flat = {key: values.reshape(values.shape[0], -1) for key, values in result.grid.items()}
    return [({key: v[k] for key, v in flat.items()}, p) for k in range(1, a.rows) for p in range(points)]


def compare_choices(doc, result):
    """The choices made before the run: the reference's scores and the
    acquisitions the date filters left out."""
    choice = doc.get("reference_choice")
    if choice is None:
        assert result.reference_choice is None
    else:
        got = result.reference_choice
        assert (got["criterion"], got["asked"], got["geometry"]) == (
            choice["criterion"], choice["asked"], choice["geometry"])
        assert got["scores"] == [(s["name"], s["date"], s["score"]) for s in choice["scores"]]
    filtered = doc.get("filtered")
    assert result.filtered == (None if filtered is None else
                               [(f["name"], f["date"], f["filter"]) for f in filtered])


def compare_json(doc, result):
    compare_choices(doc, result)
    for key, value in reference_expected(doc["reference"]).items():
        got = result.reference[key]
        assert (got is None or is_missing(got)) if value is None else got == value, key
    rows = secondary_rows(result)
    assert len(rows) == len(doc["secondaries"])
    for row, (table, i) in zip(doc["secondaries"], rows):
        assert_row(row, table, i)
    if "pairs" in doc:
        compare_pairs(doc["pairs"], result)
        names = result.acquisitions["name"]
        members = [sorted(names[i] for i in np.flatnonzero(result.network["component"] == c))
                   for c in range(result.network["components"])]
        assert sorted(members) == sorted(sorted(m) for m in doc["network"]["members"])
        bridges = result.network["bridges"]
        assert [[names[bridges["first"][i]], names[bridges["second"][i]], bridges["perpendicular_m"][i],
                 bridges["distance"][i]] for i in range(len(bridges["first"]))] == [
            [b["first"], b["second"], b["perpendicular_m"], b["distance"]] for b in doc["network"]["bridges"]]
        for key in ("acquisitions", "pairs", "parts", "pairs_per_acquisition_min", "pairs_per_acquisition_mean",
                    "max_abs_perpendicular_m", "max_abs_days", "mean_coherence"):
            expected, got = doc["network"][key], result.network[key]
            assert (got is None or np.isnan(got)) if expected is None else got == expected, key


def compare_pairs(rows, result):
    pairs, a = result.pairs, result.acquisitions
    assert pairs.rows == len(rows)
    for i, row in enumerate(rows):
        for key, value in row.items():
            if key in ("first", "second"):
                assert a["name"][pairs[key][i]] == value
            elif key.endswith("_date"):
                assert_cell(value, a["date"][pairs[key[:-5]][i]], key)
            elif key in pairs:
                assert_cell(value, pairs[key][i], key, pairs["has_date"][i])
            else:
                assert_cell(value, result.network[key], key)


def csv_rows(text):
    """CSV rows as JSON-like values: "" none, numbers as floats, a text's
    spreadsheet guard taken off."""
    def value(cell):
        if cell == "":
            return None
        try:
            return float(cell)
        except ValueError:
            return cell[1:] if cell[:1] == "'" and cell[1:2] in "=+-@\t\r" else cell
    reader = csv.reader(io.StringIO(text))
    header = next(reader)
    return [dict(zip(header, map(value, row))) for row in reader]


@pytest.mark.parametrize("name,args", recorded_cases(), ids=[c[0] for c in recorded_cases()])
def test_the_package_gives_what_the_command_gave(name, args, work, monkeypatch):
    call = keywords_of(args)
    if call is None:
        pytest.skip("no stack() call for this command line")
    fmt, reference, secondaries, keywords = call
    with open(os.path.join(EXPECTED, name + ".status")) as f:
        status = int(f.read())
    with open(os.path.join(EXPECTED, name + ".out")) as f:
        out = f.read()
    with open(os.path.join(EXPECTED, name + ".err")) as f:
        err = f.read().splitlines()
    monkeypatch.chdir(work)
    shutil.rmtree("out", ignore_errors=True)
    seeds = os.path.join("seeds", name)
    if os.path.isdir(seeds):
        shutil.copytree(seeds, "out")
    else:
        os.mkdir("out")
    if status != 0 and out == "":
        with pytest.raises((bperp.Error, TypeError)) as refused:
            bperp.stack(reference, secondaries, **keywords)
        error = refused.value
        if isinstance(error, bperp.Error) and not err[-1].startswith("Run '"):
            text = error.strerror if isinstance(error, OSError) else str(error)
            assert text == keyword_names(err[-1][len(PREFIX):])
        return
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = bperp.stack(reference, secondaries, **keywords)
    if keywords.get("quiet"):
        assert caught == [] and err == []
    else:
        assert [str(w.message) for w in caught] == [str(w) for w in result.warnings]
        said = [keyword_names(line[len(PREFIX + "warning: "):]) for line in err
                if line.startswith(PREFIX + "warning: ") and "(--format table or json lists them)" not in line]
        assert [str(w) for w in result.warnings if not isinstance(w, bperp.SplitNetworkWarning)] == said
    if fmt == "json":
        compare_json(json.loads(out), result)
    elif fmt == "csv" and result.pairs is not None:
        compare_pairs(csv_rows(out), result)
    elif fmt == "csv":
        expected = csv_rows(out)
        assert len(expected) == len(secondary_rows(result))
        for row, (table, i) in zip(expected, secondary_rows(result)):
            assert_row(row, table, i)
    files = os.path.join(EXPECTED, name + ".files")
    for folder, _, names in os.walk(files):
        for file in names:
            path = os.path.relpath(os.path.join(folder, file), files)
            with open(os.path.join(files, path), "rb") as a, open(os.path.join("out", path), "rb") as b:
                assert a.read() == b.read(), path

