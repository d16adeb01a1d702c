#!/usr/bin/env bash
# What reading Sentinel-1 annotations costs, two builds of bperp-stack side
# by side in one run: instructions per annotation byte (callgrind, the
# difference between a stack of one and of six of the track-108
# annotations over the bytes of the five added, so that start-up and the
# reference cancel), and the wall time of the six (hyperfine, the builds
# alternating). The outputs of the two builds must be byte-identical.
#
#   BEFORE=/path/to/old/bperp-stack bench/annotation_reading.sh
#   knobs: AFTER (default build/bperp-stack), RUNS=10
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/side_by_side.sh" valgrind hyperfine python3

runs=${RUNS:-10}
data=$root/tests/data/s1-track108-annotation
mapfile -t files < <(ls "$data"/*.xml)
reference=${files[1]}
added=$(cat "${files[@]:1}" | wc -c)

same_outputs "$reference" "${files[@]}"

instructions() {  # binary, count of annotations
  callgrind_instructions "$1" "$reference" "${files[@]:0:$2}"
}
echo "annotation reading, before: $before"
echo "                    after:  $after"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
per=()
for binary in "$before" "$after"; do
  a=$(instructions "$binary" 1)
  b=$(instructions "$binary" 6)
  per+=("$(awk -v a="$a" -v b="$b" -v n="$added" 'BEGIN { printf "%.2f", (b - a) / n }')")
done
awk -v b="${per[0]}" -v a="${per[1]}" 'BEGIN {
  printf "instructions per annotation byte: before %.2f, after %.2f, ratio %.2f\n", b, a, a / b }'
hyperfine -N -i --warmup 2 --runs "$runs" --export-json "$work/six.json" \
  "$before $reference ${files[*]}" "$after $reference ${files[*]}" >/dev/null 2>&1
python3 - "$work/six.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
b, a = r[0]["median"], r[1]["median"]
print("%-34s before %7.1f ms, after %7.1f ms, ratio %.2f" % ("six annotations (5.4 MB):", b * 1e3, a * 1e3, a / b))
PY
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
