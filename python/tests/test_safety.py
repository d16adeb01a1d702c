"""What the package does to the process around it: no change of the umask
that other threads could see, exports that do not follow the locale a
program sets, Ctrl-C honoured in the middle of a long call, and hostile
HDF5 files refused without harm to the interpreter."""
import glob
import os
import re
import shutil
import stat
import subprocess
import sys
import textwrap
import threading

import numpy as np

import pytest

import bperp

SOURCE = os.environ["BPERP_SOURCE_DIR"]
STACK_DIR = os.path.join(SOURCE, "examples", "stack")
REFERENCE = os.path.join(STACK_DIR, "reference.txt")
SECONDARIES = sorted(glob.glob(os.path.join(STACK_DIR, "2*")))
S1 = sorted(glob.glob(os.path.join(SOURCE, "tests", "data", "s1-track108-annotation", "s1a-iw2-*.xml")))


def test_files_made_by_other_threads_keep_the_umask(tmp_path):
    """Stacks with exports in 8 threads, each writing some thousands of
    files, while the main thread makes files as fast as it can: every file
    keeps the umask (none made while it were briefly 0)."""
    with open(SECONDARIES[0]) as f:
        numbers = [float(x) for x in f.read().split("\n", 1)[1].split()]
    secondaries = [bperp.StateVector([numbers[0] + 1e-4 * k] + numbers[1:3], numbers[3:],
                                     date=np.datetime64("2008-06-15") + k) for k in range(200)]
    old = os.umask(0o022)
    try:
        failures = []

        def exports(k):
            folder = tmp_path / ("t%d" % k)
            folder.mkdir()
            try:
                for n in range(6):
                    bperp.stack(REFERENCE, secondaries, pairs=True, max_days=1, plot=str(folder / ("%d.svg" % n)),
                                exports=[(kind, str(folder / ("%s%d" % (kind, n)))) for kind in
                                         ("pairs", "dates", "baselines", "stack-folder")])
            except Exception as e:  # reported by the main thread
                failures.append(e)

        threads = [threading.Thread(target=exports, args=(k,)) for k in range(8)]
        for t in threads:
            t.start()
        mine = tmp_path / "main"
        mine.mkdir()
        count = 0
        while any(t.is_alive() for t in threads) or count < 200:
            os.close(os.open(mine / ("%d" % count), os.O_CREAT | os.O_WRONLY, 0o666))
            count += 1
        for t in threads:
            t.join()
    finally:
        os.umask(old)
    assert failures == []
    loose = [p for p in tmp_path.rglob("*") if stat.S_IMODE(p.stat().st_mode) & 0o022]
    assert loose == [] and count >= 200


@pytest.fixture(scope="module")
def german(tmp_path_factory):
    """A LOCPATH with de_DE.UTF-8 (a bare Debian has none)."""
    if shutil.which("localedef") is None:
        pytest.skip("no localedef (Debian package locales)")
    path = tmp_path_factory.mktemp("locales")
    done = subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", str(path / "de_DE.UTF-8")],
                          capture_output=True, text=True)
    if not (path / "de_DE.UTF-8").exists():
        pytest.skip("localedef failed: " + done.stderr)
    return path


def test_exports_under_a_german_locale_are_those_under_c(tmp_path, german):
    script = textwrap.dedent("""
        import locale, sys, bperp
        name, folder = sys.argv[1], sys.argv[2]
        locale.setlocale(locale.LC_ALL, name)
        print(locale.localeconv()["decimal_point"])
        bperp.stack(sys.argv[3], sys.argv[4:], pairs=True, plot=folder + "/plot.svg",
                    exports=[(k, folder + "/" + k) for k in ("pairs", "dates", "baselines", "stack-folder")])
        """)
    written = {}
    for name in ("C", "de_DE.UTF-8"):
        folder = tmp_path / name
        folder.mkdir()
        env = dict(os.environ, LOCPATH=str(german))
        done = subprocess.run([sys.executable, "-c", script, name, str(folder), REFERENCE] + SECONDARIES,
                              env=env, capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        written[name] = {p.relative_to(folder): p.read_bytes() for p in folder.rglob("*") if p.is_file()}
        assert done.stdout.strip() == ("," if name != "C" else ".")  # the locale took effect
    assert written["C"] == written["de_DE.UTF-8"] and len(written["C"]) == 5 + len(SECONDARIES)  # with the stack folder's manifest


def test_ctrl_c_ends_a_long_call_promptly():
    """A grid of 500,000 baselines takes some 20 s here; SIGINT after 1 s
    must end it within a generous 10 s."""
    script = textwrap.dedent("""
        import os, signal, sys, threading, time, bperp
        threading.Timer(1.0, os.kill, (os.getpid(), signal.SIGINT)).start()
        start = time.monotonic()
        try:
            bperp.stack(sys.argv[1], [sys.argv[2]], grid=(1000, 500))
            print("finished", time.monotonic() - start)
        except KeyboardInterrupt:
            print("interrupted", time.monotonic() - start)
        """)
    done = subprocess.run([sys.executable, "-c", script, S1[0], S1[1]], capture_output=True, text=True,
                          timeout=300)
    word, seconds = done.stdout.split()
    assert word == "interrupted" and float(seconds) < 10.0, done.stdout + done.stderr


def test_ctrl_c_while_exports_are_written_leaves_no_temporary_file(tmp_path):
    """SIGINT once a stack folder of 3000 entries is begun: KeyboardInterrupt
    as ever, no temporary file left, and the folder not there or whole."""
    script = textwrap.dedent("""
        import os, signal, sys, threading, time, bperp, numpy as np
        reference, out = sys.argv[1], sys.argv[2]
        with open(sys.argv[3]) as f:
            numbers = [float(x) for x in f.read().split("\\n", 1)[1].split()]
        secondaries = [bperp.StateVector([numbers[0] + 1e-6 * k] + numbers[1:3], numbers[3:],
                                         date=np.datetime64("1990-01-01") + k) for k in range(3000)]
        def interrupt():
            deadline = time.monotonic() + 60
            while not os.path.exists(out) and time.monotonic() < deadline:
                time.sleep(0.001)
            os.kill(os.getpid(), signal.SIGINT)
        threading.Thread(target=interrupt, daemon=True).start()
        try:
            bperp.stack(reference, secondaries, exports=[("stack-folder", out)])
            print("finished")
        except KeyboardInterrupt:
            print("interrupted")
        """)
    out = tmp_path / "stack"
    done = subprocess.run([sys.executable, "-c", script, REFERENCE, str(out), SECONDARIES[0]], capture_output=True,
                          text=True, timeout=300)
    assert done.stdout.strip() in ("interrupted", "finished"), done.stdout + done.stderr
    assert [p for p in tmp_path.rglob(".*")] == []
    assert not out.exists() or len(list(out.iterdir())) == 3000 + 1  # the entries and the manifest


def test_a_grid_takes_the_memory_of_its_arrays():
    """100,000 grid baselines: the process grows by no more than twice the
    result's own arrays (the cells' objects counted at their pointers) and
    a margin, as the grid is filled into them, not held beside them."""
    script = textwrap.dedent("""
        import resource, sys, bperp
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        grid = bperp.stack(sys.argv[1], [sys.argv[2]], grid=(400, 250)).grid
        grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
        print(grown * 1024, sum(a.nbytes for a in grid.values()))
        """)
    done = subprocess.run([sys.executable, "-c", script, S1[0], S1[1]], capture_output=True, text=True,
                          timeout=300)
    grown, arrays = (int(x) for x in done.stdout.split())
    assert arrays > 40e6 and grown < 2 * arrays + 20e6, (grown, arrays)


OPERA = os.path.join(SOURCE, "tests", "data", "opera-cslc-t042")


def break_group_addresses(path):
    """Every reference to the B-tree of each group below the root
    overwritten with all ones, an address the HDF5 library crashes on."""
    data = bytearray(open(path, "rb").read())
    trees = [m.start() for m in re.finditer(b"TREE", data)][1:]
    for tree in trees:
        address = tree.to_bytes(8, "little")
        at = data.find(address)
        while at != -1:
            data[at:at + 8] = b"\xff" * 8
            at = data.find(address, at + 8)
    open(path, "wb").write(data)


def test_hostile_hdf5_files_raise_instead_of_ending_the_interpreter(tmp_path):
    h5py = pytest.importorskip("h5py")
    reference, secondary = sorted(glob.glob(os.path.join(OPERA, "*.h5")))
    crash = tmp_path / "crash.h5"
    crash.write_bytes(open(secondary, "rb").read())
    break_group_addresses(crash)
    with pytest.raises(bperp.InputError, match="the HDF5 library crashed reading it"):
        bperp.read(crash)
    # A time that is an external link into a named pipe: refused at once,
    # never followed (reading the pipe would block the interpreter for ever).
    os.mkfifo(tmp_path / "fifo")
    with h5py.File(tmp_path / "linked.h5", "w") as f:
        f["metadata/orbit/time"] = h5py.ExternalLink("fifo", "/time")
    with pytest.raises(bperp.InputError, match="/metadata/orbit/time is an external link"):
        bperp.read(tmp_path / "linked.h5")
    # In a stack, the crash is one refused row and the others are computed.
    got = bperp.stack(reference, [str(crash), secondary]).acquisitions
    assert "the HDF5 library crashed reading it" in got["error"][1] and got["error"][2] == ""
    assert got["error_kind"][1] == "malformed"
