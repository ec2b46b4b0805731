#!/usr/bin/env bash
# What a cycle of checks costs on each side of the connection, side by side in one run on
# loopback: wall time, and CPU time of the monitoring side and of the monitored side, each
# side's processes in a cpuacct cgroup of their own (so ssh masters, sshd's session
# processes and NRPE's children count wherever they run).
#
#   one host, five checks per cycle: dorv as one connection per cycle, dorv as five active
#   checks without and with connection reuse, check_by_ssh and NRPE with TLS running the
#   monitoring plugins, the plugins run locally, dorv's checks run locally; and the
#   transport alone (a session that runs no probe). Many hosts: bench/fleet.sh.
#
# Runs as root in a private network namespace (only its own loopback) and a private mount
# namespace for sshd (scripts/sshd-for-tests.sh); NRPE runs from its own configuration in
# a temporary directory, never the system's service.
# Usage: bench/transport.sh [BUILD_DIR] [CYCLES]   (default: build, 10)
set -euo pipefail
source "$(dirname "$0")/loopback.sh"
loopback_enter transport "$@"
build=$(realpath "${1:-build}")
cycles=${2:-10}
agent=$build/dorv
console=$build/dorv-console
plugins=/usr/lib/nagios/plugins
for f in "$agent" "$console" /usr/sbin/nrpe $plugins/check_nrpe $plugins/check_by_ssh $plugins/check_load; do
  [ -x "$f" ] || { echo "transport: $f missing" >&2; exit 77; }
done

loopback_setup
start_sshd agent 2201 "$agent"
start_sshd shell 2203 ""
# NRPE with TLS on 127.0.0.1:5666, the monitoring plugins as its commands.
cat >"$work/nrpe.cfg" <<CFG
pid_file=$work/nrpe.pid
server_address=127.0.0.1
server_port=5666
nrpe_user=nagios
nrpe_group=nagios
allowed_hosts=127.0.0.1
dont_blame_nrpe=0
command_timeout=60
command[load]=$plugins/check_load -w 5,5,5 -c 10,10,10
command[disk]=$plugins/check_disk -w 20% -c 10% -p /
command[swap]=$plugins/check_swap -w 20% -c 10%
command[procs]=$plugins/check_procs -C sshd -c 1:
command[users]=$plugins/check_users -w 20 -c 50
CFG
# The same NRPE running dorv's five checks on the host (console and agent), so that both
# transports carry the same work.
i=0
for c in "run CPU -c 90" "run DiskSpace -c 10 /" "run RAM -c 10" "run Swap -c 10" "run Processes sshd"; do
  printf 'command[dorv%d]=/usr/bin/env XDG_CACHE_HOME=%s %s --agent %s --format plugin %s\n' \
    $((i++)) "$work/nrpe-cache" "$console" "$agent" "$c" >>"$work/nrpe.cfg"
done
mkdir -m 0777 "$work/nrpe-cache"
in_cg host /usr/sbin/nrpe -c "$work/nrpe.cfg" -f >"$work/nrpe.log" 2>&1 &
pids+=($!)
wait_port 5666

# A console without dorv-mux beside it rides a master through `ssh -S` instead.
mkdir "$work/plain"
cp "$console" "$work/plain/dorv-console"
export XDG_RUNTIME_DIR=$work/run XDG_CACHE_HOME=$work/cache
mkdir -m 0700 "$XDG_RUNTIME_DIR"
dorv_checks=("run CPU -c 90" "run DiskSpace -c 10 /" "run RAM -c 10" "run Swap -c 10" "run Processes sshd")
plugin_checks=("check_load -w 5,5,5 -c 10,10,10" "check_disk -w 20% -c 10% -p /" "check_swap -w 20% -c 10%"
  "check_procs -C sshd -c 1:" "check_users -w 20 -c 50")
nrpe_checks=(load disk swap procs users)
ssh_to() { echo --ssh "$1" --ssh-option -F --ssh-option "$work/$2/client_config"; }
joined=()
for c in "${dorv_checks[@]}"; do joined+=(${joined:++} $c); done

one_cycle() {
  local c
  case $1 in
  dorv-one) in_cg mon "$console" $(ssh_to 127.0.0.1 agent) --reuse 0 --format passive --host h "${joined[@]}" ;;
  dorv-five) for c in "${dorv_checks[@]}"; do in_cg mon "$console" $(ssh_to 127.0.0.1 agent) --reuse 0 --format plugin $c; done ;;
  dorv-five-reuse) for c in "${dorv_checks[@]}"; do in_cg mon "$console" $(ssh_to 127.0.0.1 agent) --format plugin $c; done ;;
  dorv-five-ssh-s) for c in "${dorv_checks[@]}"; do
      in_cg mon "$work/plain/dorv-console" $(ssh_to 127.0.0.1 agent) --format plugin $c
    done ;;
  nrpe-dorv) for c in 0 1 2 3 4; do in_cg mon $plugins/check_nrpe -H 127.0.0.1 -p 5666 -c "dorv$c"; done ;;
  by-ssh) for c in "${plugin_checks[@]}"; do
      in_cg mon $plugins/check_by_ssh -H 127.0.0.1 -p 2203 -l root -i "$work/shell/client_key" \
        -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR -C "$plugins/$c"
    done ;;
  nrpe) for c in "${nrpe_checks[@]}"; do in_cg mon $plugins/check_nrpe -H 127.0.0.1 -p 5666 -c "$c"; done ;;
  plugins-local) for c in "${plugin_checks[@]}"; do in_cg host $plugins/$c; done ;;
  dorv-local) in_cg host env PATH=/usr/bin:/bin "$console" --agent "$agent" --format passive --host h "${joined[@]}" ;;
  t-dorv-fresh) in_cg mon "$console" $(ssh_to 127.0.0.1 agent) --reuse 0 list ;;
  t-dorv-reuse) in_cg mon "$console" $(ssh_to 127.0.0.1 agent) list ;;
  t-nrpe) in_cg mon $plugins/check_nrpe -H 127.0.0.1 -p 5666 ;;
  t-dorv-curve) in_cg mon "$console" $(ssh_to 127.0.0.1 agent) --ssh-option -oKexAlgorithms=curve25519-sha256 \
    --reuse 0 list ;;
  t-ssh) in_cg mon ssh -F "$work/shell/client_config" 127.0.0.1 true ;;
  motd) in_cg host run-parts --lsbsysinit /etc/update-motd.d ;;
  esac
}

# measure WHAT CASE: CYCLES cycles of CASE after one unmeasured (which starts a master
# where the case reuses one); one table row per cycle's mean.
measure() {
  local what=$1 case=$2 i m0 h0 t0
  one_cycle "$case" >/dev/null 2>&1 || true
  m0=$(usage_ns mon) h0=$(usage_ns host) t0=$EPOCHREALTIME
  for ((i = 0; i < cycles; i++)); do one_cycle "$case" >/dev/null 2>&1 || true; done
  awk -v w="$what" -v n="$cycles" -v t="$(echo "$EPOCHREALTIME - $t0" | bc -l)" \
    -v m="$(($(usage_ns mon) - m0))" -v h="$(($(usage_ns host) - h0))" \
    'BEGIN { printf "| %s | %.1f ms | %.1f ms | %.1f ms |\n", w, t / n * 1000, m / n / 1e6, h / n / 1e6 }'
}

echo "One host, five checks per cycle (mean of $cycles cycles):"
echo
echo "| What | Wall | CPU, monitoring side | CPU, monitored side |"
echo "|---|---|---|---|"
measure "dorv, one connection per cycle (--reuse 0)" dorv-one
measure "dorv, five active checks, a connection each (--reuse 0)" dorv-five
measure "dorv, five active checks, connection reuse (the default)" dorv-five-reuse
measure "dorv, five active checks, connection reuse through ssh -S (no dorv-mux)" dorv-five-ssh-s
measure "check_by_ssh, five plugins" by-ssh
measure "NRPE with TLS, five plugins" nrpe
measure "NRPE with TLS, dorv's five checks (console and agent on the host)" nrpe-dorv
measure "the five plugins run locally" plugins-local
measure "dorv's five checks run locally (console and agent)" dorv-local
echo
echo "The transport alone: one session that runs no probe (mean of $cycles):"
echo
echo "| What | Wall | CPU, monitoring side | CPU, monitored side |"
echo "|---|---|---|---|"
measure "dorv list, a fresh connection (--reuse 0)" t-dorv-fresh
measure "dorv list, over a kept master (the default)" t-dorv-reuse
measure "NRPE with TLS, version query (no command run)" t-nrpe
measure "dorv list, a fresh connection with -oKexAlgorithms=curve25519-sha256" t-dorv-curve
measure "ssh HOST true, a fresh connection" t-ssh
[ -d /etc/update-motd.d ] && measure "what Debian's pam_motd runs for each session (run-parts /etc/update-motd.d)" motd
