#!/usr/bin/env bash
# What the exporter itself costs per probe, beyond the console's run: dorv-console serve
# answers PROBES probes of the five checks (module run-all) one after another, and the
# exporter's own CPU time (utime + stime in /proc/PID/stat) is set beside that of the
# children it waited for (the consoles, the transport and the agent with its probes;
# cutime + cstime). The transport is a stand-in "ssh" that runs the agent at once, and
# the agent's vmstat prints a captured sample, so that a probe takes milliseconds; neither
# touches what the exporter does. The HTTP client is curl, a process of its own.
# Usage: bench/exporter.sh [BUILD_DIR] [PROBES]   (default: build, 500)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=$(realpath "${1:-build}")
probes=${2:-500}
for f in "$build/dorv" "$build/dorv-console" "$build/dorv-exporter" /usr/bin/curl; do
  [ -x "$f" ] || { echo "exporter: $f missing" >&2; exit 77; }
done
work=$(mktemp -d /tmp/dorv-exporter-bench.XXXXXX)
pid=
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/bin" "$work/run"
chmod 0700 "$work/run"
printf '#!/bin/sh\n# ssh OPTIONS... -- DESTINATION COMMAND: runs COMMAND here\nfor a; do last=$a; done\nexec $last\n' >"$work/bin/ssh"
printf '#!/bin/sh\ncat %s\n' "$src/tests/fixtures/vmstat/linux-procps.txt" >"$work/bin/vmstat"
chmod 0755 "$work/bin/ssh" "$work/bin/vmstat"
echo "bench1" >"$work/hosts"

PATH=$work/bin:$PATH XDG_RUNTIME_DIR=$work/run XDG_CACHE_HOME=$work/cache \
  "$build/dorv-console" serve --hosts "$work/hosts" --listen 127.0.0.1:0 --reuse 0 \
  --remote-command "$build/dorv" 2>"$work/log" &
pid=$!
for _ in $(seq 100); do grep -q serving "$work/log" && break; sleep 0.05; done
address=$(sed -n 's/.*serving //p' "$work/log")
[ -n "$address" ] || { cat "$work/log" >&2; exit 1; }
# utime stime cutime cstime, in clock ticks.
ticks() { awk '{ print $14, $15, $16, $17 }' "/proc/$pid/stat"; }
url="http://$address/probe?target=bench1"
curl -sf "$url" >"$work/first" # fills the parameter cache, as a running exporter has it
grep -q '^dorv_up 1$' "$work/first" || { echo "exporter: the probe failed:" >&2; cat "$work/first" >&2; exit 1; }
read -r u0 s0 cu0 cs0 < <(ticks)
start=$(date +%s.%N)
for _ in $(seq "$probes"); do curl -sf -o /dev/null "$url"; done
end=$(date +%s.%N)
read -r u1 s1 cu1 cs1 < <(ticks)
hz=$(getconf CLK_TCK)
awk -v n="$probes" -v hz="$hz" -v own=$((u1 + s1 - u0 - s0)) -v kids=$((cu1 + cs1 - cu0 - cs0)) \
    -v wall="$(echo "$end - $start" | bc)" 'BEGIN {
  printf "probes: %d in %.1f s (%.1f ms each)\n", n, wall, 1000 * wall / n
  printf "exporter itself: %.2f ms CPU per probe\n", 1000 * own / hz / n
  printf "its children (console, transport, agent and probes): %.2f ms CPU per probe\n", 1000 * kids / hz / n
}'
