#!/usr/bin/env bash
# Writes the option section of docs/bperp-stack.1 from the option table:
#   scripts/update-manual.sh BUILD_DIR
# (builds bperp-stack-manual there first). The manual test fails until the
# page holds the table's options as they are.
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:?usage: $0 BUILD_DIR}"
cmake --build "$build" --target bperp-stack-manual >/dev/null
page="$source_dir/docs/bperp-stack.1"
"$build/src/stack/bperp-stack-manual" "$page" >"$page.new"
mv "$page.new" "$page"
