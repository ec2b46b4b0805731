#!/usr/bin/env bash
# Runs the end-to-end suite with every agent it starts under valgrind memcheck, and
# reports any leak or invalid access of the agent.
#   scripts/memcheck.sh [gtest filter]
# The agent binaries of a plain build are replaced by scripts that start them under
# valgrind; each agent process writes its own report to $build/memcheck/agent.<pid>.log.
# An agent with an error or a leak (definite, indirect or possible) exits with status 99,
# which fails its test as well. Exits 1 when any report holds an error.
set -euo pipefail
cd "$(dirname "$0")/.."
# By its full path: some tests start the agent with a PATH of their own.
valgrind=$(command -v valgrind) || { echo "valgrind is missing (apt-get install valgrind)" >&2; exit 1; }

build=${DORV_MEMCHECK_BUILD:-build-memcheck}
agents=("$build/dorv" "$build/tests/dorv-testcfg")
# A previous run left its wrappers in place: put the real binaries back before building.
for bin in "${agents[@]}"; do
  if [ -f "$bin.real" ]; then mv -f "$bin.real" "$bin"; fi
done
# valgrind replaces malloc through the dynamic loader: the agent must not be static.
cmake -S . -B "$build" -DDORV_WERROR=ON -DDORV_BENCH=OFF -DDORV_STATIC=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null

logs=$(cd "$build" && pwd)/memcheck
rm -rf "$logs"
mkdir -p "$logs"
chmod 1777 "$logs"  # some tests run the agent as another user
for bin in "${agents[@]}"; do
  mv "$bin" "$bin.real"
  real=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin").real
  cat >"$bin" <<WRAP
#!/bin/sh
exec '$valgrind' --tool=memcheck --quiet --child-silent-after-fork=yes --leak-check=full \\
  --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \\
  --error-exitcode=99 --log-file='$logs/agent.%p.log' '$real' "\$@"
WRAP
  chmod +x "$bin"
done

status=0
# Two agents that must start within one second cannot under valgrind's slow start-up.
filter=${1:-*-Session.AgentsStartedInTheSameSecondShareTheIdentifier}
DORV_MEMCHECK=1 "$build/tests/e2e_tests" --gtest_filter="$filter" >"$logs/e2e.log" 2>&1 || status=$?
tail -n 3 "$logs/e2e.log"

runs=$(find "$logs" -name 'agent.*.log' | wc -l)
bad=$(find "$logs" -name 'agent.*.log' -size +0c)
echo "memcheck: $runs agent processes checked, $(printf '%s' "$bad" | grep -c . || true) with errors"
if [ -n "$bad" ]; then
  for f in $bad; do
    echo "== $f"
    head -n 40 "$f"
  done
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "the end-to-end suite failed under valgrind (see $logs/e2e.log)" >&2
  exit 1
fi
