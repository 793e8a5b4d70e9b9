#!/usr/bin/env bash
# Runs every benchmark of a build (bin/bench-*), one after the other.
# Usage: tools/run-bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
shopt -s nullglob
benches=("$build"/bin/bench-*)
if ((${#benches[@]} == 0)); then
  echo "run-bench: no benchmarks in $build/bin (build them first)" >&2
  exit 1
fi
status=0
for b in "${benches[@]}"; do
  [[ -x "$b" && -f "$b" ]] || continue
  echo "== $(basename "$b")"
  "$b" || { echo "run-bench: $(basename "$b") failed" >&2; status=1; }
  echo
done
exit $status
