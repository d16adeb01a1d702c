#!/usr/bin/env bash
# What reading orbit text files costs, two builds of bperp-stack side by side
# in one run: instructions per orbit-file secondary (callgrind, the
# difference between 10 and 200 secondaries over 190, so that start-up
# cancels), the wall time of 2,000 such secondaries (hyperfine, the builds
# alternating), and the wall time of one state vector followed by 8 MB of
# text (refused at its first word, which bperp-stack must reach quickly).
# The outputs of the two builds must be byte-identical.
#
#   BEFORE=/path/to/old/bperp-stack bench/orbit_reading.sh
#   knobs: AFTER (default build/bperp-stack), RUNS=5
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/side_by_side.sh" valgrind hyperfine python3

runs=${RUNS:-5}
reference=$root/examples/stack/reference.txt

# The example orbit file's rows under 2,000 dates, one a day from 2008-01-01;
# and the example pair's secondary with 8 MB of text after its six numbers.
python3 - "$work" "$root" <<'PY'
import datetime, os, sys
work, root = sys.argv[1:]
rows = open(os.path.join(root, "examples/stack/20070728.orbit")).read().split("\n", 1)[1]
os.makedirs(os.path.join(work, "orbits"))
for k in range(2000):
    day = datetime.date(2008, 1, 1) + datetime.timedelta(days=k)
    with open(os.path.join(work, "orbits", "%04d.orbit" % k), "w") as f:
        f.write("%s repeat pass, orbit rows\n" % day + rows)
with open(os.path.join(root, "examples/stack/20070612.txt")) as f:
    vector = f.read()
with open(os.path.join(work, "trailing.txt"), "w") as f:
    f.write(vector + ("words after the numbers " * 40 + "\n") * 8700)
PY
orbits() { ls "$work"/orbits/*.orbit | head -"$1" | tr '\n' ' '; }
instructions() {  # binary, count
  # shellcheck disable=SC2046
  callgrind_instructions "$1" "$reference" $(orbits "$2")
}
for args in "$reference $(orbits 2000)" "$reference $work/trailing.txt"; do
  # shellcheck disable=SC2086
  same_outputs $args
done

echo "orbit reading, before: $before"
echo "               after:  $after"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
per=()
for binary in "$before" "$after"; do
  a=$(instructions "$binary" 10)
  b=$(instructions "$binary" 200)
  per+=("$(((b - a) / 190))")
done
awk -v b="${per[0]}" -v a="${per[1]}" 'BEGIN {
  printf "instructions per orbit-file secondary: before %d, after %d, ratio %.2f\n", b, a, a / b }'
hyperfine -N -i --warmup 1 --runs "$runs" --export-json "$work/orbits.json" \
  "$before $reference $(orbits 2000)" "$after $reference $(orbits 2000)" >/dev/null 2>&1
hyperfine -N -i --warmup 3 --runs $((runs * 4)) --export-json "$work/trailing.json" \
  "$before $reference $work/trailing.txt" "$after $reference $work/trailing.txt" >/dev/null 2>&1
python3 - "$work" <<'PY'
import json, sys
for name, label in (("orbits", "2,000 orbit-file secondaries"), ("trailing", "a state vector and 8 MB of text")):
    r = json.load(open("%s/%s.json" % (sys.argv[1], name)))["results"]
    b, a = r[0]["median"], r[1]["median"]
    print("%-34s before %7.1f ms, after %7.1f ms, ratio %.2f" % (label + ":", b * 1e3, a * 1e3, a / b))
PY
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
