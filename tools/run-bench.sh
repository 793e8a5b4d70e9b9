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
  # Benchmarks of a shown window need a display: a virtual one when there is none.
  if [[ -z "${DISPLAY:-}" ]] && command -v xvfb-run >/dev/null; then
    xvfb-run -a -n $((RANDOM % 400 + 300)) -s "-screen 0 1280x800x24" "$b" || { echo "run-bench: $(basename "$b") failed" >&2; status=1; }
  else
    "$b" || { echo "run-bench: $(basename "$b") failed" >&2; status=1; }
  fi
  echo
done
exit $status
