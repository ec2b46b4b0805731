# Sourced by the loopback benchmarks (transport.sh, fleet.sh): a private network namespace
# with only its own loopback, a work directory, and a cpuacct cgroup per side (mon: the
# monitoring side, host: the monitored side) plus a memory cgroup for the monitoring side,
# so that whatever a side starts (ssh masters, sshd's session processes) counts where it
# runs. Everything it starts ends with the script.
#
# loopback_enter NAME ARGS...: from the caller's top level, as root; changes to the tree
# and sets src to it.
loopback_enter() {
  bench_name=$1
  shift
  [ "$(id -u)" -eq 0 ] || { echo "$bench_name: needs root (namespaces, sshd, cgroups)" >&2; exit 77; }
  if [ -z "${DORV_BENCH_NETNS-}" ]; then
    DORV_BENCH_NETNS=1 exec unshare --net -- bash "$0" "$@"
  fi
  ip link set lo up
  cd "$(dirname "$0")/.."
  src=$PWD
}

# loopback_setup: the work directory and the cgroups, removed again at the end.
loopback_setup() {
  work=$(mktemp -d /tmp/dorv-bench.XXXXXX)
  chmod 0755 "$work"
  cg=/sys/fs/cgroup/cpuacct/dorv-bench-$$
  mem_parent=/sys/fs/cgroup/memory$(awk -F: '$2 == "memory" { print $3 }' /proc/self/cgroup)
  memcg=$mem_parent/dorv-bench-$$
  mkdir "$cg" "$cg/mon" "$cg/host" "$memcg"
  pids=()
  trap cleanup EXIT
}

# stop_masters: the console's ssh masters end (the next run starts without them).
stop_masters() {
  local s
  for s in "$work"/run/dorv-console/*; do
    [ -S "$s" ] && timeout 5 ssh -S "$s" -O exit x >/dev/null 2>&1
  done
  return 0
}

# cleanup: every process of both sides ends, the cgroups and the work directory go.
cleanup() {
  local p
  stop_masters
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  for g in "$cg/mon" "$cg/host" "$cg" "$memcg"; do
    for p in $(cat "$g/cgroup.procs" 2>/dev/null); do kill -KILL "$p" 2>/dev/null || true; done
  done
  sleep 0.5
  rmdir "$cg/mon" "$cg/host" "$cg" "$memcg" 2>/dev/null || true
  rm -rf "$work"
}

# in_cg GROUP CMD...: CMD in the cpuacct group GROUP (mon or host); the monitoring side
# also in the memory group, whose peak is the monitoring side's peak memory.
in_cg() {
  local g=$1
  shift
  (
    echo "$BASHPID" >"$cg/$g/cgroup.procs"
    [ "$g" = host ] || echo "$BASHPID" >"$memcg/cgroup.procs"
    exec "$@"
  )
}
usage_ns() { cat "$cg/$1/cpuacct.usage"; }
wait_port() {
  local i
  for ((i = 0; i < 300; i++)); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "$bench_name: nothing listens on port $1" >&2
  return 1
}

# start_sshd NAME PORT FORCED [LINES]: a private sshd in the host group; its agents trace
# to $agent_log (default /dev/null).
start_sshd() {
  mkdir -p "$work/$1/etc-dorv"
  printf '[agent]\nlog=%s\n' "${agent_log:-/dev/null}" >"$work/$1/etc-dorv/dorv.ini"
  in_cg host env SSHD_LISTEN=0.0.0.0 SSHD_EMPTY_HOME=1 bash "$src/scripts/sshd-for-tests.sh" "$work/$1" "$2" "$3" \
    "MaxStartups 200
MaxSessions 100
${4-}" >"$work/$1.log" 2>&1 &
  pids+=($!)
  wait_port "$2"
  cat >"$work/$1/client_config" <<CFG
Host *
  Port $2
  User root
  IdentityFile $work/$1/client_key
  IdentitiesOnly yes
  UserKnownHostsFile /dev/null
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking no
  BatchMode yes
  LogLevel ERROR
CFG
}

# make_fakes: fast fake probes for the many-hosts runs in $fakes (canned output of this
# host's layout): an agent started with $fakes first in PATH costs its host no probe.
make_fakes() {
  fakes=$work/fakes
  mkdir -p "$fakes"
  for probe in vmstat:vmstat/linux-procps.txt top:top/linux-procps-4-mib.txt ps:ps/linux-procps.txt; do
    cp "$src/tests/fixtures/${probe#*:}" "$fakes/${probe%%:*}.out"
    printf '#!/bin/sh\nexec cat %s\n' "$fakes/${probe%%:*}.out" >"$fakes/${probe%%:*}"
    chmod 0755 "$fakes/${probe%%:*}"
  done
}
