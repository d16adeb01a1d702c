"""bperp.baseline() and bperp.read(): bperp's numbers for one pair and for
N pairs at once, its refusals as the package's exceptions, and what a file
holds."""
import glob
import math
import os
import pickle
import subprocess

import numpy as np
import pytest

import bperp

SOURCE = os.environ["BPERP_SOURCE_DIR"]
MASTER = os.path.join(SOURCE, "examples", "master.txt")
SLAVE = os.path.join(SOURCE, "examples", "slave.txt")
S1 = os.path.join(SOURCE, "tests", "data", "s1-track108-annotation")


def six(path):
    with open(path) as f:
        return [float(x) for x in f.read().split("\n", 1)[1].split()]


def test_the_example_pair_is_what_bperp_prints():
    r = bperp.baseline(MASTER, SLAVE)
    printed = subprocess.run([os.environ["BPERP_EXE"], MASTER, SLAVE], capture_output=True, text=True).stdout
    assert ["%f" % r.parallel, "%f" % r.perpendicular] == printed.split()
    # bperp-stack's as-given numbers are these, in m.
    s = bperp.stack(MASTER, [SLAVE], as_given=True).acquisitions
    assert (s["parallel_m"][1], s["perpendicular_m"][1]) == (r.parallel * 1000.0, r.perpendicular * 1000.0)
    for master in (six(MASTER), np.array(six(MASTER)), bperp.StateVector(six(MASTER)[:3], six(MASTER)[3:])):
        assert bperp.baseline(master, SLAVE).parallel == r.parallel
    assert r.status == "ok" and r.iterations > 0 and 0.0 < r.incidence < math.pi / 2
    back = pickle.loads(pickle.dumps(r))
    assert (back.parallel, back.perpendicular, back.scene_point) == (r.parallel, r.perpendicular, r.scene_point)


def test_n_pairs_at_once_are_each_pair_alone():
    rng = np.random.default_rng(1)
    masters = np.array(six(MASTER)) + rng.normal(0.0, [0.01] * 3 + [1e-5] * 3, (20, 6))
    slaves = np.array(six(SLAVE)) + rng.normal(0.0, [0.01] * 3 + [1e-5] * 3, (20, 6))
    masters[7, :3] = [3000.0, 0.0, 1000.0]  # inside the earth: refused alone
    r = bperp.baseline(masters, slaves)
    for i in range(20):
        if i == 7:
            continue
        one = bperp.baseline(masters[i], slaves[i])
        assert (r.parallel[i], r.perpendicular[i], tuple(r.scene_point[i])) == (
            one.parallel, one.perpendicular, one.scene_point)
    assert r.status[7] == "inside_earth" and np.isnan(r.parallel[7]) and set(np.delete(r.status, 7)) == {"ok"}
    # One state vector against N.
    against_one = bperp.baseline(masters[0], slaves)
    assert against_one.perpendicular[3] == bperp.baseline(masters[0], slaves[3]).perpendicular


def test_refusals_raise_the_packages_errors(tmp_path):
    with pytest.raises(FileNotFoundError, match="can't open "):
        bperp.baseline(str(tmp_path / "none.txt"), MASTER)
    bad = tmp_path / "five.txt"
    bad.write_text("h\n1 2 3 4 5\n")
    with pytest.raises(bperp.InputError, match="can't read state vector from .*five.txt\n  the file ends after 5 of 6"):
        bperp.baseline(str(bad), MASTER)
    inside = tmp_path / "inside.txt"
    inside.write_text("h\n3000 0 1000 0 7.5 0\n")
    with pytest.raises(ValueError, match="at or inside the earth"):
        bperp.baseline(inside, MASTER)  # a pathlib.Path works too
    for bad_args in [(1, MASTER), ([1, 2, 3], MASTER), ([1, 2, 3, 4, 5, "6"], MASTER), ([True] * 6, MASTER)]:
        with pytest.raises(TypeError):
            bperp.baseline(*bad_args)


def test_paths_are_checked_as_open_checks_them(tmp_path):
    for call in [lambda: bperp.baseline(MASTER + "\0/x", MASTER), lambda: bperp.read(MASTER + "\0x"),
                 lambda: bperp.stack(MASTER, [MASTER + "\0x"])]:
        with pytest.raises(ValueError, match="null byte"):
            call()
    odd = os.path.join(os.fsencode(str(tmp_path)), b"\xffmaster.txt")
    with open(odd, "wb") as f, open(MASTER, "rb") as m:
        f.write(m.read())
    assert bperp.baseline(odd, MASTER).parallel == 0.0


def test_read_gives_the_orbit_in_metres():
    annotation = sorted(glob.glob(os.path.join(S1, "s1a-iw2-*.xml")))[0]
    d = bperp.read(annotation)
    assert d["kind"] == "s1-annotation" and d["mission"] == "S1A" and d["absolute_orbit"] == 58630
    assert d["position"].shape == (17, 3) and d["time"].dtype == np.dtype("datetime64[ns]")
    assert str(d["time"][0]) == "2025-04-06T02:19:03.324203000"
    assert d["position"][0][0] == pytest.approx(-3339803.610018, abs=1e-6)  # the file's digits, m
    folder = os.path.join(SOURCE, "tests", "data", "s1-track108-orbit-layout")
    eof = bperp.read(sorted(glob.glob(os.path.join(folder, "*.EOF")))[0])
    assert eof["kind"] == "orbit file" and eof["file_type"] == "AUX_POEORB"
    assert np.array_equal(eof["position"], d["position"])  # the vectors the annotation was made from
