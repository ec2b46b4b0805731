#!/usr/bin/env bash
# Wall time of dorv-console as a plugin beside the monitoring plugins that check the same
# thing on this host, run alternately in one run: the median of each and their ratio.
#   dorv-console run DiskSpace 10 /   against  check_disk -w 10% -p /
#   dorv-console run Processes sshd   against  check_procs -C sshd
# The console runs with a warm parameter cache (its own, in a temporary directory), as it
# does under a scheduler from the second cycle on.
# Usage: bench/plugin_peers.sh [BUILD_DIR] [RUNS]   (default: build-rel, 31)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-rel}
runs=${2:-31}
plugins=/usr/lib/nagios/plugins
if [ ! -x "$plugins/check_disk" ] || [ ! -x "$plugins/check_procs" ]; then
  echo "plugin_peers: skipped, monitoring-plugins-basic (check_disk, check_procs) is not installed"
  exit 0
fi
if [ ! -x "$build/dorv-console" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDORV_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target dorv dorv-console >/dev/null
fi
console=$(realpath "$build/dorv-console")
XDG_CACHE_HOME=$(mktemp -d)
export XDG_CACHE_HOME
trap 'rm -rf "$XDG_CACHE_HOME"' EXIT
cd "$XDG_CACHE_HOME"  # the agent reads /etc/dorv/dorv.ini; nothing else depends on the directory

# median_ms CMD...: the median wall time of runs runs of CMD, in milliseconds.
elapsed() {
  local t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  echo "$EPOCHREALTIME - $t0" | bc -l
}
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] * 1000 }'; }

compare() {
  local what=$1 peer=$2; shift 2
  local -a ours theirs
  read -r -a ours <<<"$1"
  read -r -a theirs <<<"$2"
  "${ours[@]}" >/dev/null 2>&1 || true  # warms the parameter cache
  local a=() b=()
  for _ in $(seq "$runs"); do
    a+=("$(elapsed "${ours[@]}")")
    b+=("$(elapsed "${theirs[@]}")")
  done
  local ma mb
  ma=$(printf '%s\n' "${a[@]}" | median)
  mb=$(printf '%s\n' "${b[@]}" | median)
  printf '| %s | %s ms | `%s`: %s ms | %.2f× |\n' "$what" "$ma" "$peer" "$mb" "$(echo "$ma / $mb" | bc -l)"
}

echo "| What (median of $runs) | Wall time | Compared with | Ratio |"
echo "|---|---|---|---|"
compare "dorv-console run DiskSpace 10 /" "check_disk -w 10% -p /" \
  "$console run DiskSpace 10 /" "$plugins/check_disk -w 10% -p /"
compare "dorv-console run Processes sshd" "check_procs -C sshd" \
  "$console run Processes sshd" "$plugins/check_procs -C sshd"
