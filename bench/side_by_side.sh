# Sourced by the benchmarks that measure two builds of bperp-stack side by
# side (bench/orbit_reading.sh, annotation_reading.sh, pairs_output.sh).
# Sets root, after (AFTER, default build/bperp-stack), before (BEFORE,
# required) and work (a temporary folder removed on exit); checks that the
# tools named are on PATH, naming the calling script where one is missing.
#
#   source "$(dirname "${BASH_SOURCE[0]}")/side_by_side.sh" valgrind hyperfine python3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
after=${AFTER:-$root/build/bperp-stack}
before=${BEFORE:?"set BEFORE to the bperp-stack to compare with"}
for tool in "$@"; do
  command -v "$tool" >/dev/null || { echo "$(basename "$0"): $tool not found" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The instructions a command executes, as callgrind counts them (its output
# thrown away). Followed through exec: the static bperp-stack hands a line
# with options to bperp-stack-full, whose run is what is counted (the static
# start before it, the same in every run, is left out).
callgrind_instructions() {
  valgrind --tool=callgrind --trace-children=yes --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*I *refs: *//p' | tr -d ,
}

# Runs the before and the after build on the same arguments and ends the
# calling script when what they print (standard output and error) differs:
# a benchmark of two builds is worth reporting only when they agree.
same_outputs() {
  "$before" "$@" >"$work/before.out" 2>&1 || true
  "$after" "$@" >"$work/after.out" 2>&1 || true
  cmp -s "$work/before.out" "$work/after.out" || { echo "$(basename "$0"): the outputs differ" >&2; exit 1; }
}
