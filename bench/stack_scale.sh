#!/usr/bin/env bash
# What bperp-stack costs on big stacks: wall time and peak memory (GNU time)
# of each output format for
#   - the pairs of 2,000 dated state-vector acquisitions with no limits
#     (1,999,000 pairs), written to /dev/null, and
#   - 100,000 state-vector secondaries read through --list.
#
#   bench/stack_scale.sh            uses build/bperp-stack
#   BPERP_STACK=path bench/stack_scale.sh
#
# The files are written into a temporary directory and removed afterwards.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
stack=${BPERP_STACK:-$root/build/bperp-stack}
[ -x "$stack" ] || { echo "stack_scale.sh: $stack not built" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "stack_scale.sh: /usr/bin/time not found (Debian package time)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
reference=$root/examples/stack/reference.txt

# State vectors a few metres from the reference, one a day from 2000-01-01.
python3 - "$work" <<'PY'
import datetime, os, sys
work = sys.argv[1]
def write(folder, count, dated):
    os.makedirs(folder)
    names = []
    for k in range(count):
        day = datetime.date(2000, 1, 1) + datetime.timedelta(days=k % 30000)
        header = day.isoformat() + " pass" if dated else "pass"
        path = os.path.join(folder, "%06d.txt" % k)
        with open(path, "w") as f:
            f.write("%s\n%.6f %.6f 4095.394502\n-1.721236851 4.285816268 -6.027058295\n"
                    % (header, -3992.201961 + 0.001 * (k % 100), 4155.954235 - 0.002 * (k % 100)))
        names.append(path)
    return names
write(os.path.join(work, "pairs"), 1999, True)
with open(os.path.join(work, "list.txt"), "w") as f:
    f.write("\n".join(write(os.path.join(work, "many"), 100000, False)) + "\n")
PY

measure() {  # label, then the command
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || true
  read -r seconds kb <"$work/time"
  printf '%-34s %7.2f s %8.1f MB\n' "$label" "$seconds" "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')"
}

echo "2,000 acquisitions, 1,999,000 pairs (no limits):"
for format in table csv json; do
  measure "  --pairs --format $format" "$stack" --pairs --format "$format" "$reference" "$work"/pairs/*.txt
done
echo "100,000 state-vector secondaries (--list):"
for format in table csv json; do
  measure "  --format $format" "$stack" --format "$format" --list "$work/list.txt" "$reference"
done
