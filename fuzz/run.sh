#!/usr/bin/env bash
# Bounded fuzz runs: builds the libFuzzer targets with clang, ASan and UBSan in
# build-fuzz and runs each for SECONDS seconds on a copy of its seed corpus.
# Fails on any finding; prints the executions and the time of each target.
#   bash fuzz/run.sh [SECONDS]        (default 60; 0 builds and stops)
# Extra libFuzzer flags may be given in BPERP_FUZZ_FLAGS (e.g. "-jobs=2").
# BPERP_FUZZ_BUILD names a tree already configured with clang and
# -DBPERP_FUZZ=ON (the sanitizer tree of .ci/run, say) to use instead.
set -euo pipefail

seconds="${1:-60}"
case "$seconds" in
  '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BPERP_FUZZ_BUILD:-$root/build-fuzz}"
targets=(state_vector_reader baseline_run s1_xml xml_cut image_parameters hdf5_reply mission_xml capella_json zip_layer
         saocom_xml ceos_leader nisar_hdf5)

# RelWithDebInfo without -DNDEBUG: the arrays' index assertions stay on.
if [ -z "${BPERP_FUZZ_BUILD:-}" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DBPERP_FUZZ=ON \
    -DBPERP_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"
[ "$seconds" -eq 0 ] && exit 0  # libFuzzer would take 0 as no time limit

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failed=0
summary=()
for t in "${targets[@]}"; do
  corpus="$work/corpus-$t"
  mkdir -p "$corpus" "$work/artifacts-$t"
  cp "$root/fuzz/corpus/$t/"* "$corpus/"
  dict=()
  [ -f "$root/fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
  log="$work/$t.log"
  echo "== fuzz_$t: $seconds s"
  status=0
  # shellcheck disable=SC2086
  ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1}" \
  UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
    "$build/fuzz/fuzz_$t" "$corpus" "${dict[@]}" \
      -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/artifacts-$t/" ${BPERP_FUZZ_FLAGS:-} >"$log" 2>&1 || status=$?
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  took="$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)"
  findings=("$work/artifacts-$t"/*)
  if [ "$status" -ne 0 ] || [ -e "${findings[0]}" ]; then
    failed=1
    echo "fuzz_$t: FINDING (exit status $status)"
    grep -E 'ERROR|SUMMARY|property violated|runtime error|Test unit written' "$log" || tail -n 40 "$log"
    for f in "${findings[@]}"; do
      [ -e "$f" ] || continue
      mkdir -p "$build/findings"
      cp "$f" "$build/findings/"
      echo "  input kept in $build/findings/$(basename "$f")"
    done
    summary+=("fuzz_$t: FAILED after ${execs:-?} executions")
  else
    summary+=("fuzz_$t: ${execs:-?} executions in ${took:-$seconds} s, no findings")
  fi
done

echo "== fuzz summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
