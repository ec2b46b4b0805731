#!/usr/bin/env bash
# The fleet figure: dorv-console --hosts over 100 and 1,000 hosts on loopback (127.0.N.M,
# one private sshd listening on all of them; the agent's vmstat, top and ps replaced by
# `cat` of captured output so that the console's side is what is measured, df the real
# one), five checks a host, -j 20 (the default), first with connection reuse (the default,
# 300 s), then with --reuse 0. Each cycle's row gives, in the units administrators compare:
#
#   checks per minute per core on the monitoring side (60 s over its CPU time per check),
#   CPU per result on each side (each side's processes in a cpuacct cgroup of their own:
#   the console, its host processes, ssh and the masters on one side, sshd's session
#   processes and the agents on the other), the descriptions the agents were asked for
#   (their definecheck replies, counted in their trace log), and the monitoring side's
#   peak memory (its memory cgroup: processes and page cache). After the reuse cycles,
#   the memory per kept host: the proportional set size (PSS) of the ssh masters left
#   running, and the console's own peak resident set.
#
# Runs as root in a private network namespace (only its own loopback); sshd in a private
# mount namespace (scripts/sshd-for-tests.sh). The monitoring side's parameter cache
# starts empty for each host count.
# Usage: bench/fleet.sh [BUILD_DIR] [HOST_COUNTS] [CYCLES] [CYCLES_WITHOUT_REUSE]
#   (default: build, "100 1000", 3, 1: every cycle without reuse is a first cycle)
set -euo pipefail
source "$(dirname "$0")/loopback.sh"
loopback_enter fleet "$@"
build=$(realpath "${1:-build}")
host_counts=${2:-"100 1000"}
cycles=${3:-3}
fresh_cycles=${4:-1}
agent=$build/dorv
console=$build/dorv-console
for f in "$agent" "$console" /usr/bin/time; do
  [ -x "$f" ] || { echo "fleet: $f missing" >&2; exit 77; }
done

loopback_setup
make_fakes
agent_log=$work/agent.log
start_sshd fake 2202 "PATH=$fakes:/usr/bin:/bin $agent"
export XDG_RUNTIME_DIR=$work/run XDG_CACHE_HOME=$work/cache
mkdir -m 0700 "$XDG_RUNTIME_DIR"
checks=(run CPU -c 90 + run DiskSpace -c 10 / + run RAM -c 10 + run Swap -c 10 + run Processes sshd)
per_host=5

replies() { grep -c "^> #keycount=[0-9]*#responseaction=$1#" "$agent_log" 2>/dev/null || true; }
# PSS of the processes left in the monitoring side's group (the masters), in KiB.
masters_pss() {
  local p sum=0 kib
  for p in $(cat "$cg/mon/cgroup.procs"); do
    kib=$(awk '/^Pss:/ { print $2 }' "/proc/$p/smaps_rollup" 2>/dev/null || true)
    sum=$((sum + ${kib:-0}))
  done
  echo "$sum"
}

echo "| Hosts | Connections | Cycle | Wall | Checks per minute per core | CPU per result, monitoring side | CPU per result, monitored side | Descriptions asked | Peak memory, monitoring side |"
echo "|---|---|---|---|---|---|---|---|---|"
for n in $host_counts; do
  awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) printf "127.0.%d.%d h%04d\n", int(i / 250), i % 250 + 1, i }' \
    >"$work/hosts-$n"
  rm -rf "$XDG_CACHE_HOME"
  for mode in reuse no-reuse; do
    reuse=() n_cycles=$cycles
    [ "$mode" = reuse ] || reuse=(--reuse 0) n_cycles=$fresh_cycles
    echo 0 >"$memcg/memory.max_usage_in_bytes" 2>/dev/null || true
    for ((c = 1; c <= n_cycles; c++)); do
      m0=$(usage_ns mon) h0=$(usage_ns host) d0=$(replies definecheck) r0=$(replies runcheck) t0=$EPOCHREALTIME
      in_cg mon /usr/bin/time -f %M -o "$work/console-rss" "$console" --hosts "$work/hosts-$n" -t 30 \
        --ssh-option -F --ssh-option "$work/fake/client_config" "${reuse[@]}" "${checks[@]}" \
        >"$work/out" 2>"$work/err" || true
      t=$(echo "$EPOCHREALTIME - $t0" | bc -l)
      m=$(($(usage_ns mon) - m0)) h=$(($(usage_ns host) - h0))
      d=$(($(replies definecheck) - d0)) r=$(($(replies runcheck) - r0))
      peak=$(cat "$memcg/memory.max_usage_in_bytes")
      ((r == n * per_host)) || echo "  fleet: $r results of $((n * per_host)): $(tail -n 1 "$work/err")" >&2
      label=$([ "$mode" = reuse ] && echo "kept (default)" || echo "--reuse 0")
      awk -v n="$n" -v l="$label" -v c="$c" -v t="$t" -v m="$m" -v h="$h" -v r="$r" -v d="$d" -v p="$peak" 'BEGIN {
        r = r > 0 ? r : 1
        printf "| %d | %s | %d | %.1f s | %.0f | %.2f ms | %.2f ms | %d | %.0f MiB |\n",
          n, l, c, t, 60e9 / (m / r), m / r / 1e6, h / r / 1e6, d, p / 1048576 }'
    done
    if [ "$mode" = reuse ]; then
      masters=$(wc -l <"$cg/mon/cgroup.procs")
      awk -v n="$n" -v k="$masters" -v pss="$(masters_pss)" -v rss="$(cat "$work/console-rss")" 'BEGIN {
        printf "| %d | kept: %d ssh masters, PSS %.0f KiB each (%.0f MiB in all); the console'"'"'s peak RSS %.0f KiB | | | | | | | |\n",
          n, k, pss / (k > 0 ? k : 1), pss / 1024, rss }'
      stop_masters
    fi
  done
done
