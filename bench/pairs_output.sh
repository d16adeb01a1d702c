#!/usr/bin/env bash
# What writing a network's pairs costs, two builds of bperp-stack side by side
# in one run: instructions per pair (callgrind, the difference between two
# stack sizes, so that start-up cancels; the reading of the larger stack's
# extra files stays in, about 200 instructions a pair) and the wall time of all
# 1,999,000 pairs of 2,000 dated state-vector acquisitions written to
# /dev/null (hyperfine, the two builds alternating), for each format. The
# outputs of the two builds must be byte-identical, or nothing is reported.
#
#   BEFORE=/path/to/old/bperp-stack bench/pairs_output.sh
#   knobs: AFTER (default build/bperp-stack), SMALL=100 LARGE=300 (the
#   callgrind sizes), RUNS=5, FORMATS="csv table json"
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/side_by_side.sh" valgrind hyperfine python3

small=${SMALL:-100}
large=${LARGE:-300}
runs=${RUNS:-5}
formats=${FORMATS:-csv table json}
reference=$root/examples/stack/reference.txt

# count - 1 secondaries a few metres apart, one a day from 2000-01-01 (the
# layout of bench/stack_scale.sh).
python3 - "$work" "$small" "$large" 2000 <<'PY'
import datetime, os, sys
work = sys.argv[1]
for count in map(int, sys.argv[2:]):
    folder = os.path.join(work, str(count))
    os.makedirs(folder)
    for k in range(count - 1):
        day = datetime.date(2000, 1, 1) + datetime.timedelta(days=k)
        with open(os.path.join(folder, "%06d.txt" % k), "w") as f:
            f.write("%s pass\n%.6f %.6f 4095.394502\n-1.721236851 4.285816268 -6.027058295\n"
                    % (day, -3992.201961 + 0.001 * (k % 100), 4155.954235 - 0.002 * (k % 100)))
PY

pairs() { echo $(($1 * ($1 - 1) / 2)); }
instructions() {  # binary, format, count
  callgrind_instructions "$1" --pairs --format "$2" "$reference" "$work/$3"/*.txt
}

load=$(cut -d' ' -f1-3 /proc/loadavg)
echo "pairs output, before: $before"
echo "              after:  $after"
echo "load average at the start: $load"
printf '%-6s %14s %14s %7s %10s %10s %7s %9s\n' format "instr/pair bef" "instr/pair aft" ratio \
  "s before" "s after" ratio "Mpairs/s"
for format in $formats; do
  for n in "$small" 2000; do
    "$before" --pairs --format "$format" "$reference" "$work/$n"/*.txt >"$work/before.out"
    "$after" --pairs --format "$format" "$reference" "$work/$n"/*.txt >"$work/after.out"
    cmp -s "$work/before.out" "$work/after.out" ||
      { echo "pairs_output.sh: the $format outputs of $n acquisitions differ" >&2; exit 1; }
  done
  per_pair=()
  for binary in "$before" "$after"; do
    a=$(instructions "$binary" "$format" "$small")
    b=$(instructions "$binary" "$format" "$large")
    per_pair+=("$(((b - a) / ($(pairs "$large") - $(pairs "$small"))))")
  done
  hyperfine -N --warmup 1 --runs "$runs" --export-json "$work/time.json" \
    "$before --pairs --format $format $reference $(echo "$work"/2000/*.txt)" \
    "$after --pairs --format $format $reference $(echo "$work"/2000/*.txt)" \
    >/dev/null 2>&1
  read -r t_before t_after < <(python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))["results"]
print(r[0]["median"], r[1]["median"])' "$work/time.json")
  awk -v f="$format" -v ib="${per_pair[0]}" -v ia="${per_pair[1]}" -v tb="$t_before" -v ta="$t_after" \
    -v p="$(pairs 2000)" 'BEGIN {
      printf "%-6s %14d %14d %7.2f %10.3f %10.3f %7.2f %9.2f\n", f, ib, ia, ia / ib, tb, ta, ta / tb, p / ta / 1e6 }'
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
