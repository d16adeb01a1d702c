"""The Python module against the executables: the same numbers, bit for bit,
and the same refusals, raised as Python exceptions."""
import glob
import json
import math
import os
import re
import subprocess

import numpy as np
import pytest

import bperp

SOURCE = os.environ["BPERP_SOURCE_DIR"]
BPERP = os.environ["BPERP_EXE"]
STACK = os.environ["BPERP_STACK_EXE"]
EXAMPLES = os.path.join(SOURCE, "examples")
STACK_DIR = os.path.join(EXAMPLES, "stack")
S1 = os.path.join(SOURCE, "tests", "data", "s1-track108-annotation")


def example_stack():
    return os.path.join(STACK_DIR, "reference.txt"), sorted(glob.glob(os.path.join(STACK_DIR, "2*")))


def executable_json(*args):
    done = subprocess.run([STACK, "--format", "json", *args], capture_output=True, text=True)
    return json.loads(done.stdout)


def assert_same(arrays, rows, key):
    """Every row's JSON value against the array element: equal doubles,
    NaN for null, the same text."""
    column = arrays[key]
    assert len(column) == len(rows)
    for value, row in zip(column, rows):
        expected = row[key]
        if isinstance(expected, (int, float)) and not isinstance(expected, bool):
            assert float(value) == float(expected), key
        elif expected is None:
            if isinstance(value, str):
                assert value == "", key
            elif isinstance(value, np.datetime64):
                assert np.isnat(value), key
            else:
                assert math.isnan(value), key
        elif key == "date" or key.endswith("_date"):
            assert str(value) == expected, key
        elif key.endswith("_time"):
            assert str(value) == expected.rstrip("Z"), key
        else:
            assert value == expected, key


def test_the_example_pair_is_what_bperp_prints():
    master, slave = os.path.join(EXAMPLES, "master.txt"), os.path.join(EXAMPLES, "slave.txt")
    r = bperp.baseline(master, slave)
    printed = subprocess.run([BPERP, master, slave], capture_output=True, text=True).stdout.split()
    assert ["%f" % r.parallel, "%f" % r.perpendicular] == printed
    # And bit for bit the stack tool's as-given numbers (km -> m by one product).
    s = executable_json("--as-given", master, slave)["secondaries"][0]
    assert r.parallel * 1000.0 == s["parallel_m"]
    assert r.perpendicular * 1000.0 == s["perpendicular_m"]
    # Six numbers work as the file does.
    with open(master) as f:
        numbers = [float(x) for x in f.read().split("\n", 1)[1].split()]
    assert bperp.baseline(numbers, slave).parallel == r.parallel
    assert r.status == "ok" and r.iterations > 0
    assert 0.0 < r.incidence < math.pi / 2 and len(r.scene_point) == 3


@pytest.mark.parametrize("options", [{}, {"pairs": True, "max_perp": 200, "max_days": 200}])
def test_the_example_stack_is_what_bperp_stack_writes(options):
    reference, secondaries = example_stack()
    args = []
    for key, value in options.items():
        args += ["--" + key.replace("_", "-")] + ([] if value is True else [str(value)])
    expected = executable_json(*args, reference, *secondaries)
    got = bperp.stack(reference, secondaries, **options)
    assert got["reference"] == expected["reference"]
    for key in expected["secondaries"][0]:
        assert_same(got["secondaries"], expected["secondaries"], key)
    if options:
        for key in expected["pairs"][0]:
            assert_same(got["pairs"], expected["pairs"], key)
        assert got["network"] == expected["network"]


def test_a_sentinel1_stack_is_what_bperp_stack_writes():
    files = sorted(glob.glob(os.path.join(S1, "s1a-iw2-*.xml")))
    expected = executable_json("--grid", "2x2", *files)
    got = bperp.stack(files[0], files[1:], grid=(2, 2))
    assert got["reference"] == expected["reference"]
    for key in expected["secondaries"][0]:
        assert_same(got["secondaries"], expected["secondaries"], key)
    assert got["secondaries"]["secondary_time"].dtype == np.dtype("datetime64[ns]")
    assert got["secondaries"]["date"].dtype == np.dtype("datetime64[D]")


def test_refusals_raise_with_the_commands_message(tmp_path):
    master = os.path.join(EXAMPLES, "master.txt")
    with pytest.raises(FileNotFoundError) as missing:
        bperp.baseline(str(tmp_path / "none.txt"), master)
    assert "can't open " in str(missing.value)
    bad = tmp_path / "five.txt"
    bad.write_text("h\n1 2 3 4 5\n")
    with pytest.raises(ValueError, match="can't read state vector from .*five.txt\n  the file ends after 5 of 6"):
        bperp.baseline(str(bad), master)
    inside = tmp_path / "inside.txt"
    inside.write_text("h\n3000 0 1000 0 7.5 0\n")
    with pytest.raises(ValueError, match="at or inside the earth"):
        bperp.baseline(inside, master)  # a pathlib.Path works too
    with pytest.raises(ValueError, match="bperp-stack: .*inside the earth"):
        bperp.stack(str(inside), [master])
    with pytest.raises(ValueError, match="--max-perp must be a decimal number"):
        bperp.stack(master, [master], pairs=True, max_perp="0x10")


def test_wrong_types_raise_type_error():
    master = os.path.join(EXAMPLES, "master.txt")
    for bad in [(1, master), ([1, 2, 3], master), ([1, 2, 3, 4, 5, "6"], master)]:
        with pytest.raises(TypeError):
            bperp.baseline(*bad)
    with pytest.raises(TypeError):
        bperp.stack(master, master)  # one path, not a sequence
    with pytest.raises(TypeError):
        bperp.stack(master, [master], no_such_option=1)
    with pytest.raises(TypeError):
        bperp.stack(master, [master], max_perp={"a": 1})


def test_a_bad_secondary_keeps_its_row_with_the_error(tmp_path):
    reference, secondaries = example_stack()
    broken = tmp_path / "broken.txt"
    broken.write_text("h\n1 2 3\n")
    got = bperp.stack(reference, [secondaries[0], str(broken), secondaries[1]])
    errors = got["secondaries"]["error"]
    assert errors[0] == "" and errors[2] == ""
    assert "broken.txt" in errors[1]
    assert math.isnan(got["secondaries"]["perpendicular_m"][1])
    assert "broken.txt" in got["messages"]


def test_read_gives_the_orbit_in_metres():
    annotation = sorted(glob.glob(os.path.join(S1, "s1a-iw2-*.xml")))[0]
    d = bperp.read(annotation)
    assert d["kind"] == "s1-annotation" and d["mission"] == "S1A" and d["absolute_orbit"] == 58630
    assert d["position"].shape == (17, 3) and d["velocity"].shape == (17, 3)
    assert d["time"].dtype == np.dtype("datetime64[ns]")
    assert str(d["time"][0]) == "2025-04-06T02:19:03.324203000"
    # The first vector of the orbit list (the file's own digits, m).
    assert d["position"][0][0] == pytest.approx(-3339803.610018, abs=1e-6)
    sv = bperp.read(os.path.join(EXAMPLES, "master.txt"))
    assert sv["kind"] == "state-vector" and sv["position"].shape == (1, 3)
    assert sv["position"][0][0] == pytest.approx(4066372.472, abs=1e-6)


def test_options_take_their_types():
    reference, secondaries = example_stack()
    # A flag takes a bool only (pairs=1 would pass "1" to the command as a
    # name); a value option never takes a bool.
    for bad in [{"pairs": 1}, {"as_given": 0}, {"max_days": True}, {"sequential": True}]:
        with pytest.raises(TypeError):
            bperp.stack(reference, secondaries, **bad)
    # numpy scalars and arrays are numbers as Python's are.
    plain = bperp.stack(reference, secondaries, pairs=True, max_days=200, max_perp=200.5)
    numpy = bperp.stack(reference, secondaries, pairs=True, max_days=np.int64(200), max_perp=np.float64(200.5))
    assert list(numpy["pairs"]["perpendicular_m"]) == list(plain["pairs"]["perpendicular_m"])
    master = os.path.join(EXAMPLES, "master.txt")
    with open(master) as f:
        numbers = np.array([float(x) for x in f.read().split("\n", 1)[1].split()])
    slave = os.path.join(EXAMPLES, "slave.txt")
    assert bperp.baseline(numbers, slave).parallel == bperp.baseline(master, slave).parallel


def test_every_option_of_the_command_is_a_keyword():
    """The command's options with underscores, but --format and --list,
    which stack() sets itself: each known (refused here for its empty value,
    not as an unknown keyword)."""
    reference, secondaries = example_stack()
    options = subprocess.run([STACK, "--help"], capture_output=True, text=True).stdout.split("\n\n\n")[0]
    names = set(re.findall(r"^  (--[a-z0-9-]+)", options, re.M)) - {"--version", "--format", "--list"}
    assert len(names) == 33
    for name in names:
        key = name[2:].replace("-", "_")
        with pytest.raises((TypeError, ValueError)) as refused:
            bperp.stack(reference, secondaries, **{key: ""})
        assert "unknown option" not in str(refused.value), key
    for key in ["format", "list", "max-perp"]:
        with pytest.raises(TypeError, match="unknown option"):
            bperp.stack(reference, secondaries, **{key: "x"})


def test_columns_keep_their_types_whatever_the_values():
    reference, secondaries = example_stack()
    got = bperp.stack(reference, secondaries, pairs=True, max_days=0)
    errors = got["secondaries"]["error"]
    assert errors.dtype == object and all(e == "" for e in errors)  # no failure: text, not NaN
    assert got["secondaries"]["orbit_source"].dtype == object
    pairs = got["pairs"]  # no pair within 0 days: typed empty columns
    assert len(pairs["perpendicular_m"]) == 0 and pairs["perpendicular_m"].dtype == np.float64
    assert pairs["first"].dtype == object and pairs["first_date"].dtype == np.dtype("datetime64[D]")


def test_paths_are_checked_as_open_checks_them(tmp_path):
    master = os.path.join(EXAMPLES, "master.txt")
    with pytest.raises(FileNotFoundError, match="can't open"):
        bperp.stack(str(tmp_path / "none.txt"), [master])
    for call in [lambda: bperp.baseline(master + "\0/x", master), lambda: bperp.read(master + "\0x"),
                 lambda: bperp.stack(master, [master + "\0x"])]:
        with pytest.raises(ValueError, match="null byte"):
            call()
    # A name that is not UTF-8 reaches the file system as its bytes.
    odd = os.fsdecode(b"\xffmaster.txt")
    with open(os.path.join(tmp_path, odd), "w") as f, open(master) as m:
        f.write(m.read())
    assert bperp.baseline(os.path.join(tmp_path, odd), master).parallel == 0.0


def test_a_baseline_survives_a_pickle():
    import pickle
    r = bperp.baseline(os.path.join(EXAMPLES, "master.txt"), os.path.join(EXAMPLES, "slave.txt"))
    back = pickle.loads(pickle.dumps(r))
    assert (back.parallel, back.perpendicular, back.scene_point) == (r.parallel, r.perpendicular, r.scene_point)


def test_read_gives_an_orbit_file():
    folder = os.path.join(SOURCE, "tests", "data", "s1-track108-orbit-layout")
    d = bperp.read(sorted(glob.glob(os.path.join(folder, "*.EOF")))[0])
    assert d["kind"] == "orbit file" and d["mission"] == "S1A" and d["file_type"] == "AUX_POEORB"
    assert d["position"].shape == (17, 3) and str(d["validity"][0]) == "2025-04-06T02:19:03.000000000"
    # The same vectors as the annotation they were made from (m).
    annotation = bperp.read(sorted(glob.glob(os.path.join(S1, "s1a-iw2-*.xml")))[0])
    assert np.array_equal(d["position"], annotation["position"])
