#!/usr/bin/env bash
# What a whole bperp process costs, side by side with the floor: a static C
# program that prints the same two lines and does nothing else.
#
#   bench/startup.sh            build (in build-bench), check, measure
#   NO_BUILD=1 bench/startup.sh measure what is built
#
# Environment: BUILD_DIR (default build-bench, relative to the source tree),
# BPERP (the bperp executable to measure, default $BUILD_DIR/bperp),
# INMEMORY (the in-memory driver, default $BUILD_DIR/bench/bperp_inmemory_count), ROUNDS
# (hyperfine rounds, default 60), RUNS (runs of each command per round,
# default 20), CALLS (run_baseline calls for the in-memory count, default
# 1000).
#
# Wall time: ROUNDS hyperfine runs, each timing both commands, the order
# swapped every round, so that both see the same load; the figure is the
# median over the rounds of median(bperp) / median(floor). Instructions:
# callgrind on one whole run of each (deterministic, unlike the clock on a
# shared machine), and on in-memory runs of run_baseline. Page faults, which
# are most of what a run costs on a virtual machine, are counted with
# perf stat when perf can count software events.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=${BUILD_DIR:-build-bench}
rounds=${ROUNDS:-60}
runs=${RUNS:-20}
calls=${CALLS:-1000}
bperp=${BPERP:-$build/bperp}
inmemory=${INMEMORY:-$build/bench/bperp_inmemory_count}
master=examples/master.txt
slave=examples/slave.txt

fail() { echo "startup.sh: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || fail "$1 not found (Debian package $2)"; }
need gcc gcc
need hyperfine hyperfine
need valgrind valgrind
need jq jq
need size binutils
for n in "$rounds" "$runs" "$calls"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || fail "ROUNDS, RUNS and CALLS must be whole numbers above 0"
done
((calls >= 2)) || fail "CALLS must be at least 2"

if [[ ${NO_BUILD:-0} != 1 ]]; then
  need cmake cmake
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBPERP_BENCH=ON -DBPERP_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target bperp bperp_inmemory_count >/dev/null
fi
[[ -x $bperp ]] || fail "no bperp at $bperp"
[[ -x $inmemory ]] || fail "no in-memory driver at $inmemory"

# The floor, built static with the system's C compiler.
floor_dir=$build/startup
mkdir -p "$floor_dir"
gcc -O2 -static -o "$floor_dir/floor" "$root/bench/floor.c"
floor=$floor_dir/floor

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Both print the same bytes, and the in-memory run gives every bit it gave
# before the start-up work.
"$floor" >"$tmp/floor.out"
"$bperp" "$master" "$slave" >"$tmp/bperp.out" || fail "$bperp $master $slave failed"
cmp -s "$tmp/floor.out" "$tmp/bperp.out" ||
  fail "bperp does not print what the floor prints: $(tr '\n' ' ' <"$tmp/bperp.out")"
"$inmemory" 1 >"$tmp/run.txt" || fail "$inmemory failed: $(cat "$tmp/run.txt")"
grep -v '^#' bench/example_run.txt | diff - "$tmp/run.txt" >/dev/null ||
  fail "run_baseline no longer gives the bits of bench/example_run.txt"

echo "machine: $(nproc) cpus, $(lscpu | sed -n 's/^Model name: *//p' | head -1)"
# ldd fails on a static executable ("not a dynamic executable").
linkage() { if ldd "$1" >/dev/null 2>&1; then echo "dynamic: $(ldd "$1" | wc -l) objects"; else echo static; fi; }
echo "bperp:   $bperp ($(linkage "$bperp"), $(size "$bperp" | awk 'NR == 2 {print $1}') bytes of code and read-only data)"
echo "floor:   $floor ($(linkage "$floor"), $(size "$floor" | awk 'NR == 2 {print $1}') bytes of code and read-only data)"
echo

# --- wall time --------------------------------------------------------------
bperp_cmd="$bperp $master $slave"
for ((i = 1; i <= rounds; i++)); do
  if ((i % 2)); then
    set -- -n floor "$floor" -n bperp "$bperp_cmd"
  else
    set -- -n bperp "$bperp_cmd" -n floor "$floor"
  fi
  hyperfine -N --style none --warmup 5 --runs "$runs" --export-json "$tmp/round$i.json" "$@" \
    >/dev/null 2>&1 || fail "hyperfine failed in round $i"
done

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratios=()
for ((i = 1; i <= rounds; i++)); do
  f=$(jq -r '.results[] | select(.command == "floor") | .median' "$tmp/round$i.json")
  b=$(jq -r '.results[] | select(.command == "bperp") | .median' "$tmp/round$i.json")
  ratios+=("$(awk -v b="$b" -v f="$f" 'BEGIN {printf "%.4f", b / f}')")
done
pooled() { jq -r --arg c "$1" '.results[] | select(.command == $c) | .times[]' "$tmp"/round*.json | median; }
floor_median=$(pooled floor)
bperp_median=$(pooled bperp)
wall_ratio=$(printf '%s\n' "${ratios[@]}" | median)

# --- instructions -----------------------------------------------------------
# Instructions callgrind counts for a command (valgrind options first).
instructions() {
  valgrind --tool=callgrind --callgrind-out-file="$tmp/callgrind.out" --log-file="$tmp/callgrind.log" \
    "$@" >/dev/null || fail "valgrind $* failed"
  awk '/Collected :/ {print $NF}' "$tmp/callgrind.log"
}
floor_ir=$(instructions "$floor")
bperp_ir=$(instructions "$bperp" "$master" "$slave")
toggle=--toggle-collect='bperp::run_baseline*'
first_ir=$(instructions "$toggle" "$inmemory" 1)
many_ir=$(instructions "$toggle" "$inmemory" "$calls")

verdict() { awk -v v="$1" -v g="$2" 'BEGIN {print (v <= g) ? "ok" : "MISSED"}'; }
per_call=$(awk -v n="$many_ir" -v c="$calls" 'BEGIN {printf "%.0f", n / c}')
later=$(awk -v n="$many_ir" -v one="$first_ir" -v c="$calls" 'BEGIN {printf "%.0f", (n - one) / (c - 1)}')
ir_ratio=$(awk -v b="$bperp_ir" -v f="$floor_ir" 'BEGIN {printf "%.2f", b / f}')

printf 'wall time, median of %d runs in each of %d alternating rounds\n' "$runs" "$rounds"
printf '  floor  %8.1f us\n' "$(awk -v t="$floor_median" 'BEGIN {print t * 1e6}')"
printf '  bperp  %8.1f us\n' "$(awk -v t="$bperp_median" 'BEGIN {print t * 1e6}')"
printf '  ratios by round: %s\n' "${ratios[*]}"
printf '  median ratio bperp / floor: %s  (goal <= 1.3, aim 1.2: %s)\n' "$wall_ratio" \
  "$(verdict "$wall_ratio" 1.3)"
echo
echo "instructions (callgrind), one whole run"
printf '  floor  %8d\n  bperp  %8d\n' "$floor_ir" "$bperp_ir"
printf '  ratio bperp / floor: %s  (goal <= 3: %s)\n' "$ir_ratio" "$(verdict "$ir_ratio" 3)"
echo
echo "instructions (callgrind) in run_baseline, the in-memory computation"
printf '  first call             %8d\n' "$first_ir"
printf '  per call over %-8d %8d  (goal <= 20000: %s)\n' "$calls" "$per_call" \
  "$(verdict "$per_call" 20000)"
printf '  each call after the first %5d\n' "$later"

# Page faults, averaged over 50 runs (perf stat's software counter).
faults() {
  local sum=0 n
  for ((k = 0; k < 50; k++)); do
    n=$(perf stat -x, -e page-faults "$@" 2>&1 >/dev/null | cut -d, -f1)
    [[ $n =~ ^[0-9]+$ ]] || return 1
    sum=$((sum + n))
  done
  awk -v s="$sum" 'BEGIN {printf "%.1f", s / 50}'
}
if command -v perf >/dev/null && floor_pf=$(faults "$floor") && bperp_pf=$(faults "$bperp" "$master" "$slave"); then
  echo
  echo "page faults, one whole run (perf stat, mean of 50)"
  printf '  floor  %6s\n  bperp  %6s\n' "$floor_pf" "$bperp_pf"
fi
