#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and runs each for a bounded time.
#   scripts/fuzz.sh [seconds-per-target] [target...]
# Defaults: 10 seconds, every target. New inputs collect in fuzz/corpus-work/<target>/,
# inputs that break a property in fuzz/corpus-work/artifacts/. Exits 1 when any target
# found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
shift || true
# Every fuzz/NAME_fuzz.cpp is a target, as in fuzz/CMakeLists.txt.
all=()
for f in fuzz/*_fuzz.cpp; do all+=("$(basename "$f" _fuzz.cpp)"); done
targets=("${@:-${all[@]}}")
build=${DORV_FUZZ_BUILD:-build-fuzz}

CXX=${FUZZ_CXX:-clang++} cmake -S . -B "$build" -DDORV_FUZZ=ON -DDORV_TESTS=OFF -DDORV_BENCH=OFF \
  -DDORV_WERROR=ON >/dev/null
cmake --build "$build" --target fuzz -j2 >/dev/null

mkdir -p fuzz/corpus-work/artifacts
failed=()
for t in "${targets[@]}"; do
  work=fuzz/corpus-work/$t
  log=$build/fuzz-$t.log
  mkdir -p "$work"
  # The captured command output of the unit tests seeds the parser of that command.
  seeds=("fuzz/corpus/$t")
  if [ -d "tests/fixtures/$t" ]; then seeds+=("tests/fixtures/$t"); fi
  # Long inputs reach the 16383-character limits of lines, requests and packets.
  # DORV_FUZZ_SEED fixes libFuzzer's random seed (the test command uses one, so that its
  # short run is repeatable); unset, every run explores anew.
  if "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=40000 -rss_limit_mb=2048 \
      -seed="${DORV_FUZZ_SEED:-0}" \
      -print_final_stats=1 -artifact_prefix="fuzz/corpus-work/artifacts/$t-" \
      "$work" "${seeds[@]}" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    failed+=("$t")
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  printf '%-8s %-6s executions %-9s cov %s\n' "$t" "$result" "${execs:-?}" "${cov:-?}"
  if [ "$result" = FAILED ]; then
    grep -E 'ERROR|property failed|SUMMARY|Test unit written' "$log" | head -n 8 | sed 's/^/    /'
  fi
done
if ((${#failed[@]})); then
  echo "fuzzing found problems in: ${failed[*]} (logs in $build/fuzz-<target>.log)" >&2
  exit 1
fi
