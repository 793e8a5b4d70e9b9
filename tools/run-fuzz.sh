#!/usr/bin/env bash
# Builds every fuzz target of fuzz/ with clang and libFuzzer (ASan + UBSan)
# into fuzz-build/ and runs each one for FUZZ_SECONDS seconds (default 60).
#
#   tools/run-fuzz.sh [SECONDS] [TARGET...]
#
# Targets: every fuzz_* of fuzz/CMakeLists.txt.
#
# Seeds are hex text files in fuzz/seeds/<target>/*.hex (and MAX_LEN there,
# when a target needs inputs longer than 512 bytes); the working corpus
# grows in fuzz-build/corpus/<target>/ and crashes land in
# fuzz-build/artifacts/<target>/. Exit status is non-zero when a target fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-60}}
[[ $# -gt 0 ]] && shift
build=${FUZZ_BUILD:-$root/fuzz-build}

CXX=${FUZZ_CXX:-clang++} cmake -S "$root/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-2}" ${*:+--target "$@"}

targets=("$@")
if ((${#targets[@]} == 0)); then
  for exe in "$build"/bin/fuzz_*; do
    [[ -x "$exe" ]] && targets+=("$(basename "$exe")")
  done
fi

status=0
passed=0
failed=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  for seed in "$root/fuzz/seeds/$t"/*.hex; do
    [[ -e "$seed" ]] || continue
    xxd -r -p "$seed" >"$corpus/seed-$(basename "$seed" .hex)"
  done
  # Inputs up to 512 bytes, or what seeds/<target>/MAX_LEN says.
  max_len=512
  [[ -f "$root/fuzz/seeds/$t/MAX_LEN" ]] && max_len=$(<"$root/fuzz/seeds/$t/MAX_LEN")
  echo "== $t: ${seconds}s"
  if ! "$build/bin/$t" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus"; then
    echo "== $t: FAILED (see $artifacts)" >&2
    status=1
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
