#!/usr/bin/env bash
# Measures what the agent costs on this host, side by side with what it is compared to:
# a bare process start, the probe commands run bare, and prints a Markdown table; then
# runs the codec and request-reader benchmarks (Google Benchmark).
# Usage: bench/session.sh [BUILD_DIR]   (default: build-rel, a Release build made when needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-rel}
if [ ! -x "$build/dorv" ] || [ ! -x "$build/bench/session_probe" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDORV_TESTS=OFF -DDORV_REQUIRE_ALL=ON >/dev/null
  cmake --build "$build" -j"$(nproc)" >/dev/null
fi
bench=$(realpath "$build/bench/dorv_bench")
agent=$(realpath "$build/dorv")
probe=$(realpath "$build/bench/session_probe")
cd "$(mktemp -d)"  # the agent reads /etc/dorv/dorv.ini; nothing else depends on the directory

val() { awk -v k="$1" '$1 == k { print $2 }'; }

echo "| What | Measured | Compared with | Ratio or difference |"
echo "|---|---|---|---|"

s=$("$probe" session "$agent" 2000)
printf '| whole session (start, login, listchecks, end) | %s µs | /bin/true start: %s µs | %s× |\n' \
  "$(val session_us <<<"$s")" "$(val true_us <<<"$s")" "$(val session_ratio <<<"$s")"

for n in 10 1000 10000; do
  r=$("$probe" requests "$agent" "$n")
  printf '| %s requests in one session | round trip %s µs, agent CPU %s µs per request | | peak RSS %s KiB |\n' \
    "$n" "$(val round_trip_us <<<"$r")" "$(val agent_cpu_per_request_us <<<"$r")" "$(val peak_rss_kib <<<"$r")"
done
# Console and agent on different CPUs wake each other across CPUs, which costs far more on
# a virtual machine than the agent's own work; on one CPU the agent's share shows alone.
if command -v taskset >/dev/null; then
  r=$(taskset -c 0 "$probe" requests "$agent" 10000)
  printf '| 10000 requests, console and agent on one CPU | round trip %s µs, agent CPU %s µs per request | | peak RSS %s KiB |\n' \
    "$(val round_trip_us <<<"$r")" "$(val agent_cpu_per_request_us <<<"$r")" "$(val peak_rss_kib <<<"$r")"
fi

# check NAME PARAM=VALUE... -- COMMAND...
check() {
  local name=$1 c cmd="$*"
  cmd=${cmd#*-- }
  c=$("$probe" check "$agent" "$runs" "$@")
  printf '| runcheck %s | %s µs | `%s`: %s µs | +%s µs |\n' \
    "$name" "$(val agent_us <<<"$c")" "$cmd" "$(val bare_us <<<"$c")" "$(val overhead_us <<<"$c")"
}
runs=5
check CPU 'Load Limit [%]=80' -- vmstat 1 2
runs=51
check DiskSpace 'Disk Free Limit [%]=10' 'Disks=/' -- /bin/df
runs=21
check RAM 'Free RAM Limit [%]=10' -- top -d 1 -n 1 -b
check Swap 'Free Swap Limit [%]=10' -- top -d 1 -n 1 -b
runs=51
check Processes 'Select Process=init' -- ps -ax -o user,args

size=$(stat -c %s "$agent")
stripped=$(mktemp)
strip -o "$stripped" "$agent"
printf '| binary size | %s bytes (%s stripped) | | %s |\n' "$size" "$(stat -c %s "$stripped")" \
  "$(command -v file >/dev/null && file -b "$agent" | cut -d, -f1-2)"
rm -f "$stripped"

if command -v hyperfine >/dev/null; then
  echo
  echo "hyperfine, start to end of input (login packet only):"
  hyperfine -N --warmup 100 --runs 1000 --style basic /bin/true "$agent" 2>/dev/null | grep -E 'Benchmark|Time'
fi

echo
echo "codec and request reader:"
"$bench" --benchmark_min_time=0.5 2>/dev/null | grep '^BM_'
