#!/usr/bin/env bash
# Runs the whole test suite several times in a row, more tests at once than there are
# cores and with every core kept busy besides, and lists each test that failed with how
# often. A steady suite lists none.
#   scripts/steady.sh [ROUNDS] [BUILD_DIR]     (defaults: 10 rounds, build/)
# Builds BUILD_DIR first when it holds no build. Exit status 1 when any test failed; the
# output of a round with a failure is kept in BUILD_DIR/Testing/steady-round-N.log.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-10}
dir=${2:-build}
cores=$(nproc)

if [ ! -f "$dir/CTestTestfile.cmake" ]; then
  cmake -S . -B "$dir" -DDORV_WERROR=ON -DDORV_REQUIRE_ALL=ON >/dev/null
  cmake --build "$dir" -j"$cores" >/dev/null
fi

# One busy loop a core, ended with the script.
load=()
stop_load() { ((${#load[@]})) && kill "${load[@]}" 2>/dev/null; wait 2>/dev/null || true; }
trap stop_load EXIT
for ((i = 0; i < cores; i++)); do
  (while :; do :; done) &
  load+=($!)
done

failed_log=$(mktemp)
trap 'stop_load; rm -f "$failed_log"' EXIT
start=$SECONDS
for ((r = 1; r <= rounds; r++)); do
  round_start=$SECONDS
  rm -f "$dir/Testing/Temporary/LastTestsFailed.log"
  ctest --test-dir "$dir" -j$((cores * 2)) --timeout 180 >/dev/null 2>&1 || true
  n=0
  list="$dir/Testing/Temporary/LastTestsFailed.log"
  if [ -s "$list" ]; then
    cut -d: -f2- "$list" >>"$failed_log"
    n=$(wc -l <"$list")
    rm -f "$list"
    cp "$dir/Testing/Temporary/LastTest.log" "$dir/Testing/steady-round-$r.log"
  fi
  echo "round $r/$rounds: $n failed, $((SECONDS - round_start)) s"
  ((n == 0)) || echo "  output of the round: $dir/Testing/steady-round-$r.log"
done

echo "$rounds rounds in $((SECONDS - start)) s, ctest -j$((cores * 2)) with $cores busy loops beside it"
if [ -s "$failed_log" ]; then
  echo "failed (times, test):"
  sort "$failed_log" | uniq -c | sort -rn
  exit 1
fi
echo "no test failed"
