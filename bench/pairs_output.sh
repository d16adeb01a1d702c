#!/usr/bin/env bash
# What writing a network's pairs costs, two builds of bperp-stack side by side
# in one run, for each format:
#  - instructions per pair (callgrind): the same LARGE acquisitions in two
#    networks, every pair (--max-days 1000000) and the pairs at most NEAR days
#    apart, over the difference of their pair counts. Only the pairs differ:
#    the files read, the start-up and the test each candidate pair gets (the
#    same limit in both) cancel.
#  - beside it, the older measure: every pair of SMALL and of LARGE
#    acquisitions, whose difference also holds the reading of the larger
#    stack's extra files (some 200 instructions a pair).
#  - the wall time of all 1,999,000 pairs of 2,000 dated state-vector
#    acquisitions written to /dev/null (hyperfine, the two builds alternating).
# The outputs of the two builds must be byte-identical, or nothing is reported.
#
#   BEFORE=/path/to/old/bperp-stack bench/pairs_output.sh
#   BEFORE="/path/to/older/bperp-stack /path/to/old/bperp-stack" bench/pairs_output.sh
#   knobs: AFTER (default build/bperp-stack), SMALL=100 LARGE=300 (the
#   callgrind sizes), NEAR=100 (days), RUNS=5, FORMATS="csv table json"
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/side_by_side.sh" valgrind hyperfine python3

small=${SMALL:-100}
large=${LARGE:-300}
near=${NEAR:-100}
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
instructions() {  # binary, format, count, more options
  callgrind_instructions "$1" --pairs --format "$2" "${@:4}" "$reference" "$work/$3"/*.txt
}
# The pairs of the large stack within days (the CSV's lines but its header).
pairs_within() {
  echo $(($("$after" --pairs --format csv --max-days "$1" "$reference" "$work/$large"/*.txt 2>/dev/null | wc -l) - 1))
}
every=$(pairs_within 1000000)
within=$(pairs_within "$near")

# BEFORE may name several builds (separated by blanks): each is compared
# with the after build, all in the same run.
read -r -a builds <<<"$before"
builds+=("$after")
last=$((${#builds[@]} - 1))

load=$(cut -d' ' -f1-3 /proc/loadavg)
for k in "${!builds[@]}"; do
  echo "pairs output, build $k: ${builds[k]}$([ "$k" = "$last" ] && echo " (after)")"
done
echo "load average at the start: $load"
echo "instructions per pair: $large acquisitions, $every pairs against the $within at most $near days apart;"
echo "  old measure: every pair of $large against every pair of $small acquisitions;"
echo "  ratios: the after build's over this build's"
printf '%-6s %5s %10s %7s %10s %7s %9s %7s %9s\n' format build instr/pair ratio "old meas." ratio "s" ratio "Mpairs/s"
for format in $formats; do
  for n in "$small" 2000; do
    "$after" --pairs --format "$format" "$reference" "$work/$n"/*.txt >"$work/after.out"
    for binary in "${builds[@]}"; do
      "$binary" --pairs --format "$format" "$reference" "$work/$n"/*.txt >"$work/before.out"
      cmp -s "$work/before.out" "$work/after.out" ||
        { echo "pairs_output.sh: the $format outputs of $n acquisitions differ ($binary)" >&2; exit 1; }
    done
  done
  per_pair=() old=() commands=()
  for binary in "${builds[@]}"; do
    a=$(instructions "$binary" "$format" "$large" --max-days "$near")
    b=$(instructions "$binary" "$format" "$large" --max-days 1000000)
    per_pair+=("$(((b - a) / (every - within)))")
    a=$(instructions "$binary" "$format" "$small")
    b=$(instructions "$binary" "$format" "$large")
    old+=("$(((b - a) / ($(pairs "$large") - $(pairs "$small"))))")
    commands+=("$binary --pairs --format $format $reference $(echo "$work"/2000/*.txt)")
  done
  hyperfine -N --warmup 1 --runs "$runs" --export-json "$work/time.json" "${commands[@]}" >/dev/null 2>&1
  mapfile -t seconds < <(python3 -c '
import json, sys
for r in json.load(open(sys.argv[1]))["results"]: print(r["median"])' "$work/time.json")
  for k in "${!builds[@]}"; do
    awk -v f="$format" -v k="$k" -v i="${per_pair[k]}" -v ia="${per_pair[last]}" -v o="${old[k]}" \
      -v oa="${old[last]}" -v t="${seconds[k]}" -v ta="${seconds[last]}" -v p="$(pairs 2000)" 'BEGIN {
        printf "%-6s %5d %10d %7.2f %10d %7.2f %9.3f %7.2f %9.2f\n", f, k, i, ia / i, o, oa / o, t, ta / t, p / t / 1e6 }'
  done
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
