#!/usr/bin/env bash
# Fails when a file of the library includes a header of a folder above its
# own: each folder has one job and builds only on the folders below it.
#
#   scripts/check-layers.sh        from anywhere in the tree; status 1 and
#                                  one line per offending include
#
# The layers, lowest first (app, the bperp command, stands beside the
# stack tool: above it here, so that the stack builds on no part of it). A
# file's layer is its folder under src/ or
# include/bperp/ (python/ for the module); an include "bperp/X/..." names
# layer X (bperp/stack/X/... names stack/X). bperp/version.h is generated and
# belongs to every layer.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(numeric earth geometry baseline io
        stack/support stack/hdf5 stack/inputs stack/geometry stack/run stack/network stack/outputs stack/command
        app python)

rank_of() {
  local i
  for i in "${!layers[@]}"; do
    if [ "${layers[$i]}" = "$1" ]; then
      echo "$i"
      return
    fi
  done
  echo -1
}

# The layer of a path relative to the top of the tree ("" when none).
layer_of_file() {
  local path="$1" rest
  case "$path" in
    python/*) echo python; return ;;
    src/*) rest="${path#src/}" ;;
    include/bperp/*) rest="${path#include/bperp/}" ;;
    *) echo ""; return ;;
  esac
  local first="${rest%%/*}"
  if [ "$first" = stack ]; then
    rest="${rest#stack/}"
    echo "stack/${rest%%/*}"
  else
    echo "$first"
  fi
}

# The layer an include names ("bperp/stack/run/x.h" -> stack/run).
layer_of_include() {
  local rest="${1#bperp/}" first
  first="${rest%%/*}"
  if [ "$first" = stack ]; then
    rest="${rest#stack/}"
    echo "stack/${rest%%/*}"
  else
    echo "$first"
  fi
}

status=0
while IFS= read -r file; do
  own="$(layer_of_file "$file")"
  [ -n "$own" ] || continue
  own_rank="$(rank_of "$own")"
  if [ "$own_rank" -lt 0 ]; then
    echo "$file: its folder $own is no layer (add it to scripts/check-layers.sh)"
    status=1
    continue
  fi
  while IFS= read -r included; do
    [ "$included" = bperp/version.h ] && continue
    target="$(layer_of_include "$included")"
    target_rank="$(rank_of "$target")"
    if [ "$target_rank" -lt 0 ]; then
      echo "$file: includes $included, of no layer"
      status=1
    elif [ "$target_rank" -gt "$own_rank" ]; then
      echo "$file: includes $included: $target lies above $own"
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]\(bperp\/[^>"]*\)[>"].*/\1/p' "$file")
done < <(git ls-files -- src include python | grep -E '\.(h|hpp|cpp)$')

if [ "$status" -eq 0 ]; then echo "every include points down"; fi
exit "$status"
