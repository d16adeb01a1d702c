#!/usr/bin/env bash
# What bperp-stack costs on one state-vector pair, a whole process, side by
# side in one run with the floors: a static C program that prints two lines
# and a dynamically linked one, and (when given) an earlier bperp-stack.
#
#   bench/stack_startup.sh                 measure build/bperp-stack
#   BEFORE=/tmp/old/bperp-stack bench/stack_startup.sh
#
# "after-option" is the same pair with an option (--format table, which
# changes nothing): a line the static program hands to bperp-stack-full.
#
# Environment: BUILD_DIR (default build), STACK (the bperp-stack measured,
# default $BUILD_DIR/bperp-stack), BEFORE (an earlier bperp-stack, measured
# in the same rounds; none by default), ROUNDS (default 20), RUNS (runs of
# each command per round, default 20).
#
# Wall time: hyperfine when it is installed (else a shell loop of RUNS runs
# per command), ROUNDS rounds, each timing every command in an order turned
# by one each round, so that all see the same load; a ratio is the median
# over the rounds of median(command) / median(static floor). Instructions:
# callgrind on one whole run (when valgrind is installed), with the share of
# the command line's parsing (build_request) and of the run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=${BUILD_DIR:-build}
stack=${STACK:-$build/bperp-stack}
before=${BEFORE:-}
rounds=${ROUNDS:-20}
runs=${RUNS:-20}
reference=examples/master.txt
secondary=examples/slave.txt

fail() { echo "stack_startup.sh: $*" >&2; exit 1; }
command -v gcc >/dev/null || fail "gcc not found (Debian package gcc)"
for n in "$rounds" "$runs"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || fail "ROUNDS and RUNS must be whole numbers above 0"
done
[[ -x $stack ]] || fail "no bperp-stack at $stack (cmake --build $build --target bperp-stack)"
[[ -z $before || -x $before ]] || fail "no bperp-stack at $before (BEFORE)"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
gcc -O2 -static -o "$tmp/floor-static" "$root/bench/floor.c"
gcc -O2 -o "$tmp/floor-dynamic" "$root/bench/floor.c"

names=(static-floor dynamic-floor)
commands=("$tmp/floor-static" "$tmp/floor-dynamic")
if [[ -n $before ]]; then
  names+=(before)
  commands+=("$before $reference $secondary")
fi
# A line with an option as well: the static bperp-stack hands it to
# bperp-stack-full (one exec more), so it costs more than the plain line.
names+=(after after-option)
commands+=("$stack $reference $secondary" "$stack --format table $reference $secondary")
for k in "${!names[@]}"; do
  # shellcheck disable=SC2086 # each command is split into its words
  ${commands[$k]} >/dev/null 2>&1 || fail "${commands[$k]} failed"
done

objects() { if ldd "$1" >/dev/null 2>&1; then echo "$(ldd "$1" | grep -c '=>') shared libraries"; else echo static; fi; }
echo "machine: $(nproc) cpus, load $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) at the start"
[[ -n $before ]] && echo "before: $before ($(objects "$before"))"
echo "after:  $stack ($(objects "$stack"))"
echo

# The median of the numbers on standard input.
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# One round: the median wall time (s) of each command into $tmp/round$1.<name>.
round() {
  local r=$1 n=${#names[@]} j k
  for ((j = 0; j < n; j++)); do
    k=$(((j + r) % n))
    if command -v hyperfine >/dev/null; then
      hyperfine -N --style none --warmup 3 --runs "$runs" --export-json "$tmp/h.json" "${commands[$k]}" \
        >/dev/null 2>&1 || fail "hyperfine failed on ${commands[$k]}"
      python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$tmp/h.json" \
        >"$tmp/round$r.${names[$k]}"
    else
      for ((i = 0; i < runs; i++)); do
        local t0 t1
        t0=$(date +%s%N)
        # shellcheck disable=SC2086
        ${commands[$k]} >/dev/null 2>&1
        t1=$(date +%s%N)
        echo "$(((t1 - t0)))e-9"
      done | median >"$tmp/round$r.${names[$k]}"
    fi
  done
}
for ((r = 0; r < rounds; r++)); do round "$r"; done

printf '%-14s %12s %22s\n' command "median (us)" "ratio to static floor"
for name in "${names[@]}"; do
  t=$(cat "$tmp"/round*."$name" | median)
  ratio=$(for ((r = 0; r < rounds; r++)); do
    awk -v a="$(cat "$tmp/round$r.$name")" -v f="$(cat "$tmp/round$r.static-floor")" 'BEGIN {printf "%.4f\n", a / f}'
  done | median)
  printf '%-14s %12.1f %22.2f\n' "$name" "$(awk -v t="$t" 'BEGIN {print t * 1e6}')" "$ratio"
done
echo "(target: after within 2 times the static floor)"
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"

if command -v valgrind >/dev/null && command -v callgrind_annotate >/dev/null; then
  echo
  printf '%-14s %12s %14s %12s\n' "instructions" "whole run" "command line" "the run"
  count() {
    valgrind --tool=callgrind --callgrind-out-file="$tmp/cg.out" --log-file="$tmp/cg.log" "$@" >/dev/null ||
      fail "valgrind $* failed"
    local total parse run
    total=$(awk '/Collected :/ {print $NF}' "$tmp/cg.log")
    callgrind_annotate --inclusive=yes "$tmp/cg.out" >"$tmp/cg.txt" 2>/dev/null || true
    # The first line of each function (inclusive counts, largest first).
    parse=$(awk '/bperp::stack::build_request\(/ && !n++ {gsub(",", "", $1); print $1}' "$tmp/cg.txt")
    run=$(awk '/bperp::stack::run_request\(/ && !n++ {gsub(",", "", $1); print $1}' "$tmp/cg.txt")
    printf '%12s %14s %12s\n' "$total" "${parse:--}" "${run:--}"
  }
  for name in static-floor dynamic-floor before after; do
    case $name in
      static-floor) printf '%-14s ' "$name"; count "$tmp/floor-static" ;;
      dynamic-floor) printf '%-14s ' "$name"; count "$tmp/floor-dynamic" ;;
      before) [[ -n $before ]] && { printf '%-14s ' "$name"; count "$before" "$reference" "$secondary"; } ;;
      after) printf '%-14s ' "$name"; count "$stack" "$reference" "$secondary" ;;
    esac
  done
fi
