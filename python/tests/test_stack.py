"""bperp.stack() as a Python user meets it: one result shape whatever the
reference, names as given, typed columns, keywords with their own types and
messages, errors and warnings of the package's classes, inputs in memory,
pickles, exports as functions, the deprecated forms of earlier versions."""
import concurrent.futures
import datetime
import errno
import glob
import inspect
import os
import pickle
import shutil
import warnings

import numpy as np
import pytest

import bperp

SOURCE = os.environ["BPERP_SOURCE_DIR"]
STACK_DIR = os.path.join(SOURCE, "examples", "stack")
REFERENCE = os.path.join(STACK_DIR, "reference.txt")
SECONDARIES = sorted(glob.glob(os.path.join(STACK_DIR, "2*")))
S1 = sorted(glob.glob(os.path.join(SOURCE, "tests", "data", "s1-track108-annotation", "s1a-iw2-*.xml")))


@pytest.fixture(scope="module")
def example():
    return bperp.stack(REFERENCE, SECONDARIES, pairs=True)


def test_the_reference_is_row_zero_and_pairs_index_the_acquisitions(example):
    a, p = example.acquisitions, example.pairs
    assert a["reference"].tolist() == [True] + [False] * len(SECONDARIES)
    assert a["perpendicular_m"][0] == 0.0 and a["days"][0] == 0 and np.isnan(a["height_of_ambiguity_m"][0])
    n = a.rows
    assert p.rows == n * (n - 1) // 2  # no limits: every pair
    first, second = p["first"], p["second"]
    assert first.dtype == second.dtype == p["days"].dtype == np.int32
    # A pair's baseline is the difference of its members' (m), first the
    # earlier: exactly, as both come from the same numbers.
    assert np.array_equal(p["perpendicular_m"], a["perpendicular_m"][second] - a["perpendicular_m"][first])
    assert np.array_equal(p["days"], (a["date"][second] - a["date"][first]).astype(int))
    assert np.all(p["days"] >= 0)
    assert example.network["components"] == 1 and np.all(example.network["component"] == 0)


def test_columns_have_their_types_and_the_same_keys_for_every_reference(example):
    s1 = bperp.stack(S1[0], S1[1:])
    for result in (example, s1):
        a = result.acquisitions
        assert a["date"].dtype == np.dtype("datetime64[D]") and a["secondary_time"].dtype == np.dtype("datetime64[ns]")
        assert a["days"].dtype == np.int32 and a["perpendicular_m"].dtype == np.float64
        assert a["error"].dtype == object and set(a["error"]) == {""}
    assert set(example.acquisitions) == set(s1.acquisitions)
    assert set(example.reference) == set(s1.reference)
    assert np.isnat(example.acquisitions["secondary_time"][1]) and not np.isnat(s1.acquisitions["secondary_time"][1])
    # The slant range in m whatever the geometry.
    assert 8e5 < example.reference["slant_range_m"] < 1e6 and 8e5 < s1.reference["slant_range_m"] < 1e6


def test_to_pandas_masks_the_days_without_a_date(tmp_path, example):
    pd = pytest.importorskip("pandas")
    undated = tmp_path / "undated.txt"
    with open(SECONDARIES[0]) as f:
        undated.write_text("no date\n" + f.read().split("\n", 1)[1])
    frame = bperp.stack(REFERENCE, [SECONDARIES[0], str(undated)]).acquisitions.to_pandas()
    assert str(frame["days"].dtype) == "Int64"
    assert frame["days"].isna().tolist() == [False, False, True]
    pairs = example.pairs.to_pandas()
    assert (pairs["first_name"] == example.acquisitions["name"][example.pairs["first"]]).all()
    assert isinstance(pairs, pd.DataFrame)


def test_names_come_back_exactly_as_given(tmp_path):
    odd = os.path.join(os.fsencode(str(tmp_path)), b"back\\slash \xff.txt")
    shutil.copy(SECONDARIES[0], odd)
    for given in (os.fsdecode(odd), odd):
        name = bperp.stack(REFERENCE, [given]).acquisitions["name"][1]
        assert name == os.fsdecode(odd) and os.path.exists(name)


@pytest.mark.parametrize("keywords,message", [
    ({"pairs": True, "max_perp": -1}, "max_perp must be a decimal number of metres >= 0, not -1.0"),
    ({"max_perp": 100}, "max_perp needs pairs=True"),
    ({"look": "up"}, "look must be one of right, left, not up"),
    ({"grid": (0, 3)}, "grid must be LINESxRANGES, two whole numbers from 1 to 1000 (5x5), not 0x3"),
    ({"pairs": True, "max_days": 2.5}, "max_days must be a whole number of days >= 0, not 2.5 (a fraction)"),
    ({"at_point": (52, -128), "height": 3},
     "at_point gives the target itself: it takes no at_time, at_range or height"),
    ({"exports": [("dates", "d.txt")]}, "exports dates needs pairs"),
    ({"plot": "plot.txt"}, "plot: the plot file's name must end in .svg, .pdf or .png, not 'plot.txt'"),
    ({"plot": "p.pdf", "plot_size": "88x66"},
     "plot_size must be WxHmm (20 to 1000 each) or WxHpx (100 to 10000 each), e.g. 88x66mm or 1200x800px, not 88x66"),
    ({"html_paths": True}, "html_paths needs html"),
])
def test_refusals_name_the_keywords(keywords, message):
    with pytest.raises(bperp.OptionError) as refused:
        bperp.stack(S1[0], S1[1:], **keywords)
    assert str(refused.value) == message and isinstance(refused.value, ValueError)


@pytest.mark.parametrize("keywords", [{"pairs": 1}, {"max_days": True}, {"max_perp": "100"}, {"grid": 5},
                                      {"exports": ["dates:x"]}, {"at_time": 5}, {"nonsense": 1}])
def test_values_of_another_type_are_type_errors(keywords):
    with pytest.raises(TypeError):
        bperp.stack(REFERENCE, SECONDARIES, **keywords)


def test_an_infinite_limit_is_no_limit(example):
    for limit in ({"max_perp": np.inf}, {"max_days": float("inf")}, {"max_perp": np.inf, "max_days": np.inf}):
        assert bperp.stack(REFERENCE, SECONDARIES, pairs=True, **limit).pairs.rows == example.pairs.rows
    assert bperp.stack(REFERENCE, SECONDARIES, pairs=True, max_perp=np.float32(200)).pairs.rows < example.pairs.rows


def test_a_time_may_be_text_datetime_or_datetime64():
    text = "2025-04-06T02:20:20.25"
    results = [bperp.stack(S1[0], S1[1:], at_time=t, at_range=880000.0)
               for t in (text, datetime.datetime(2025, 4, 6, 2, 20, 20, 250000),
                         datetime.datetime(2025, 4, 6, 4, 20, 20, 250000,
                                           tzinfo=datetime.timezone(datetime.timedelta(hours=2))),
                         np.datetime64(text))]
    values = [r.acquisitions["perpendicular_m"][1] for r in results]
    assert values == [values[0]] * 4 and results[0].reference["time"] == np.datetime64(text)


def test_file_problems_are_os_errors_with_errno_and_filename(tmp_path):
    missing = str(tmp_path / "none.txt")
    cases = [lambda: bperp.stack(missing, SECONDARIES), lambda: bperp.stack(S1[0], S1[1:], orbit=[missing]),
             lambda: bperp.stack(S1[0], S1[1:], orbit_dir=missing), lambda: bperp.read(missing),
             lambda: bperp.baseline(missing, REFERENCE)]
    for call in cases:
        with pytest.raises(FileNotFoundError) as e:
            call()
        assert isinstance(e.value, bperp.FileError) and e.value.errno == errno.ENOENT and e.value.filename == missing
    with pytest.raises(bperp.FileError) as e:
        bperp.stack(REFERENCE, SECONDARIES, pairs=True, exports=[("pairs", str(tmp_path / "no" / "p.csv"))])
    assert e.value.errno == errno.ENOENT


def test_content_refusals_are_value_errors_of_their_kind(tmp_path):
    inside = tmp_path / "inside.txt"
    inside.write_text("h\n3000 0 1000 0 7.5 0\n")
    with pytest.raises(bperp.InputError) as e:
        bperp.stack(str(inside), SECONDARIES)
    assert isinstance(e.value, ValueError) and e.value.kind == "implausible"
    with pytest.raises(bperp.SplitNetworkError):
        bperp.stack(REFERENCE, SECONDARIES, pairs=True, max_neighbours=2, require_connected=True)
    for error in (e.value, bperp.MissingFileError(2, "can't open x", "x")):
        back = pickle.loads(pickle.dumps(error))
        assert type(back) is type(error) and str(back) == str(error) and back.kind == error.kind


def test_warnings_have_categories_and_stay_in_the_result():
    with pytest.warns(bperp.DuplicateFileWarning):
        twice = bperp.stack(REFERENCE, SECONDARIES + SECONDARIES[:1])
    assert twice.acquisitions.rows == len(SECONDARIES) + 1
    with pytest.warns(bperp.SplitNetworkWarning):
        split = bperp.stack(REFERENCE, SECONDARIES, pairs=True, max_neighbours=2)
    assert split.network["components"] == 3 and len(split.network["bridges"]["first"]) == 2
    assert [type(w) for w in split.warnings] == [bperp.SplitNetworkWarning]
    assert issubclass(bperp.SplitNetworkWarning, bperp.StackWarning)


def _orbit_of(path):
    """The dated orbit file's rows as an Orbit (m, m/s from its km)."""
    with open(path) as f:
        header, rows = f.readline(), np.loadtxt(f)
    return bperp.Orbit(rows[:, 0], rows[:, 1:4] * 1000.0, rows[:, 4:7] * 1000.0, epoch=np.datetime64(header[:10]))


def test_orbits_and_state_vectors_in_memory_give_what_their_files_give():
    orbits = [p for p in SECONDARIES if p.endswith(".orbit")]
    vectors = [p for p in SECONDARIES if p.endswith(".txt")]
    in_memory = [_orbit_of(p) for p in orbits]
    for p in vectors:
        read = bperp.read(p)
        with open(p) as f:
            numbers = [float(x) for x in f.read().split("\n", 1)[1].split()]
        in_memory.append(bperp.StateVector(numbers[:3], numbers[3:], date=read["date"]))
    files = bperp.stack(REFERENCE, orbits + vectors).acquisitions
    memory = bperp.stack(REFERENCE, in_memory).acquisitions
    assert np.array_equal(files["date"], memory["date"]) and np.array_equal(files["days"], memory["days"])
    # State vectors bit for bit; orbits given in m to within a micrometre.
    k = len(orbits) + 1
    assert np.array_equal(files["perpendicular_m"][k:], memory["perpendicular_m"][k:])
    assert np.allclose(files["perpendicular_m"][:k], memory["perpendicular_m"][:k], rtol=0, atol=1e-6)
    # A dated orbit as the reference, as its file.
    assert np.allclose(bperp.stack(orbits[0], orbits[1:], at_range=870000, sensor="alos").acquisitions["perpendicular_m"],
                       bperp.stack(in_memory[0], in_memory[1:len(orbits)], at_range=870000, sensor="alos")
                       .acquisitions["perpendicular_m"], rtol=0, atol=1e-6)
    with pytest.raises(ValueError):
        bperp.Orbit([0, 1, 2, 3], np.zeros((3, 3)), np.zeros((4, 3)))


def test_results_functions_and_inputs_pickle(example):
    back = pickle.loads(pickle.dumps(example))
    assert all(np.array_equal(back.pairs[k], example.pairs[k], equal_nan=k != "has_date") for k in example.pairs
               if example.pairs[k].dtype != object)
    assert pickle.loads(pickle.dumps(bperp.stack)) is bperp.stack
    orbit = _orbit_of(SECONDARIES[1])
    assert pickle.loads(pickle.dumps(orbit)) == orbit
    with concurrent.futures.ProcessPoolExecutor(2) as pool:
        results = list(pool.map(bperp.stack, [REFERENCE, REFERENCE], [SECONDARIES[:2], [orbit]]))
    assert results[1].acquisitions["perpendicular_m"][1] == bperp.stack(REFERENCE, [orbit]).acquisitions[
        "perpendicular_m"][1]


def test_exports_as_functions_write_what_the_keywords_write(tmp_path, example):
    kinds = {"pairs": bperp.export_pairs, "dates": bperp.export_dates, "baselines": bperp.export_baselines}
    by_keyword = bperp.stack(REFERENCE, SECONDARIES, pairs=True, plot=str(tmp_path / "k.pdf"),
                             plot_size="1200x800px", html=str(tmp_path / "k.html"),
                             exports=[(kind, str(tmp_path / ("k-" + kind))) for kind in kinds])
    loaded = pickle.loads(pickle.dumps(example))  # written by running the stack again
    for result, tag in ((by_keyword, "f"), (loaded, "p")):
        bperp.export_plot(result, tmp_path / (tag + ".pdf"), size="1200x800px")
        bperp.export_html(result, tmp_path / (tag + ".html"))
        for kind, export in kinds.items():
            export(result, tmp_path / (tag + "-" + kind))
            assert (tmp_path / (tag + "-" + kind)).read_bytes() == (tmp_path / ("k-" + kind)).read_bytes()
        for suffix in (".pdf", ".html"):
            assert (tmp_path / (tag + suffix)).read_bytes() == (tmp_path / ("k" + suffix)).read_bytes()
    with pytest.raises(bperp.OptionError, match="exports dates needs pairs"):
        bperp.export_dates(bperp.stack(REFERENCE, SECONDARIES), tmp_path / "d")


def test_a_grid_is_shaped_acquisitions_by_lines_by_ranges():
    result = bperp.stack(S1[0], S1[1:], grid=(3, 2))
    g = result.grid
    assert g["perpendicular_m"].shape == (2, 3, 2) and np.all(g["perpendicular_m"][0] == 0.0)
    assert np.array_equal(g["grid_line"][1], [[0, 0], [1, 1], [2, 2]])
    assert len(g.to_pandas()) == 12


def test_the_forms_of_earlier_versions_still_work_with_a_warning(tmp_path, example):
    with pytest.warns(DeprecationWarning):
        old = example["secondaries"]
    assert np.array_equal(old["perpendicular_m"], example.acquisitions["perpendicular_m"][1:])
    assert old["days"].dtype == np.float64
    with pytest.warns(DeprecationWarning):
        bperp.stack(REFERENCE, SECONDARIES, pairs=True, export="dates:" + str(tmp_path / "old.txt"))
    bperp.export_dates(example, tmp_path / "new.txt")
    assert (tmp_path / "old.txt").read_bytes() == (tmp_path / "new.txt").read_bytes()


def test_the_signature_and_docstring_give_every_option_with_its_unit():
    parameters = inspect.signature(bperp.stack).parameters
    for option in bperp._bperp.options():
        assert option["keyword"] in parameters
        assert parameters[option["keyword"]].kind == inspect.Parameter.KEYWORD_ONLY
        assert (option["keyword"] + " : ") in bperp.stack.__doc__
        if option["unit"]:
            line = bperp.stack.__doc__.split("\n    " + option["keyword"] + " : ", 1)[1].split("\n", 1)[0]
            assert line.endswith(", " + option["unit"]), line
    for key in bperp.columns["acquisitions"]:
        assert "\n        " + key + "\n" in bperp.stack.__doc__
