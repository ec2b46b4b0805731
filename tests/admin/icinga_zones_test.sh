#!/usr/bin/env bash
# dorv in Icinga 2's distributed monitoring: a master and one satellite zone, two Icinga 2
# daemons of Debian's package on addresses of their own (127.0.0.1 and 127.0.0.2), their
# API certificates signed by a CA the test makes. The satellite receives its host, its
# services and the CheckCommand "dorv" (a global zone) from the master's zones.d through
# Icinga's config sync, checks the host through the installed console over the host's
# sshd with connection reuse, and sends the results up: what the master's API holds
# (state, output, performance data, the satellite as check source) is compared with what
# the agent answered. A second round of checks logs in no more. With the satellite
# stopped, the master's health check of the zone goes DOWN saying so, and the zone's
# services keep the last results the satellite measured (Icinga gives them no other).
#
#   icinga_zones_test.sh AGENT_DEB CONSOLE_DEB
set -euo pipefail
source "$(dirname "$0")/private_host.sh"
debs=("$(realpath "$1")" "$(realpath "$2")")
need_tools icinga2 openssl curl jq dpkg sshd ssh-keygen runuser
enter_private_host "$@"
source "$(dirname "$0")/services.sh"

install_dorv "${debs[@]}"
start_sshd
readme_ssh_setup nagios >/dev/null

master=dorv-master satellite=dorv-satellite
password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
m=$T/master s=$T/satellite
mkdir -p "$m" /run/icinga2/cmd
icinga_ca "$T"
icinga_node_cert "$master" "$T" /var/lib/icinga2/certs
# The satellite's own state directories, bound over Icinga's in a mount namespace of its
# own; its zones.d is empty, so all it checks comes through the config sync.
for d in lib cache log run zones; do mkdir -p "$s/$d"; done
icinga_node_cert "$satellite" "$T" "$s/lib/certs"

# The same zone tree on both nodes; each endpoint connects to the other.
zones="object Endpoint \"$master\" { host = \"127.0.0.1\" }
object Endpoint \"$satellite\" { host = \"127.0.0.2\" }
object Zone \"$master\" { endpoints = [ \"$master\" ] }
object Zone \"$satellite\" { endpoints = [ \"$satellite\" ]; parent = \"$master\" }
object Zone \"global-dorv\" { global = true }"
node_conf() { # NODE ADDRESS DIR EXTRA
  printf 'const NodeName = "%s"\nconst ZoneName = "%s"\ninclude <itl>\n%s\n' "$1" "$1" "$zones"
  printf 'object CheckerComponent "checker" { }\n'
  printf 'object FileLogger "main" { path = "%s/icinga2.log"; severity = "information" }\n' "$3"
  printf 'object ApiListener "api" { bind_host = "%s"; %s }\n' "$2" "$4"
}
{
  node_conf "$master" 127.0.0.1 "$m" ""
  printf 'object ApiUser "dorv-test" { password = "%s"; permissions = [ "objects/query/*" ] }\n' "$password"
  # Icinga's health check of the satellite zone, run by the master.
  printf 'object Host "%s" { check_command = "cluster-zone"; check_interval = 1s; retry_interval = 1s; max_check_attempts = 1 }\n' \
    "$satellite"
} >"$m/icinga2.conf"
node_conf "$satellite" 127.0.0.2 "$s" "accept_config = true; accept_commands = true" >"$s/icinga2.conf"

# The master's zones.d: the packaged CheckCommand for every zone, and the satellite's host
# with the services of services.sh.
mkdir -p /etc/icinga2/zones.d/global-dorv "/etc/icinga2/zones.d/$satellite"
cp /usr/share/doc/dorv-console/contrib/icinga2/dorv.conf /etc/icinga2/zones.d/global-dorv/
{
  printf 'object Host "dorv-host" { address = "127.0.0.1"; check_command = "dummy"; check_interval = 2s }\n'
  for row in "${services[@]}"; do
    IFS='|' read -r service _ _ vars <<<"$row"
    printf 'object Service "%s" {\n  host_name = "dorv-host"\n  check_command = "dorv"\n  check_interval = 2s\n  retry_interval = 2s\n  %s\n}\n' \
      "$service" "$vars"
  done
} >"/etc/icinga2/zones.d/$satellite/dorv-host.conf"
chown -R nagios:nagios /var/lib/icinga2 /var/cache/icinga2 /var/log/icinga2 /run/icinga2 "$m" "$s"

api_up() { bash -c "exec 3<>/dev/tcp/$1/5665" 2>/dev/null; }
# $s/enter COMMAND...: COMMAND in the satellite's own mount namespace.
cat >"$s/enter" <<'ENTER'
#!/usr/bin/env bash
s=$(dirname "$0")
[ -n "${DORV_SATELLITE-}" ] || DORV_SATELLITE=1 exec unshare --mount --propagation private -- bash "$0" "$@"
mount --bind "$s/lib" /var/lib/icinga2 && mount --bind "$s/cache" /var/cache/icinga2 &&
  mount --bind "$s/log" /var/log/icinga2 && mount --bind "$s/run" /run/icinga2 &&
  mount --bind "$s/zones" /etc/icinga2/zones.d || exit 1
mkdir -p /run/icinga2/cmd && chown -R nagios:nagios /run/icinga2
exec "$@"
ENTER
# The satellite first, so that the master's first connection finds it.
bash "$s/enter" icinga2 daemon -C -c "$s/icinga2.conf" >"$s/validate.log" 2>&1 || { cat "$s/validate.log"; exit 1; }
setsid bash "$s/enter" icinga2 daemon -c "$s/icinga2.conf" >"$s/stdout.log" 2>&1 &
satellite_pid=$!
started_pid "$satellite_pid"
wait_for 30 api_up 127.0.0.2 || { echo "FAIL: the satellite did not start"; cat "$s/stdout.log"; exit 1; }
i=$m
icinga_start api_up 127.0.0.1

# The satellite zone's checks as the master's API holds them: SERVICE, STATE, OUTPUT,
# PERF, CHECK SOURCE and EXECUTION START, separated by the unit separator.
api() {
  curl -fsS --cacert /var/lib/icinga2/certs/ca.crt --resolve "$master:5665:127.0.0.1" -u "dorv-test:$password" \
    "https://$master:5665/v1/objects/$1" 2>/dev/null
}
recorded() {
  api 'services?attrs=name&attrs=last_check_result&attrs=zone' |
    jq -r --argjson since "${1:-0}" '.results[].attrs | select(.last_check_result != null)
      | select(.last_check_result.execution_start > $since)
      | [.name, (.last_check_result.state | floor | tostring), (.last_check_result.output | sub(" +$"; "")),
         (.last_check_result.performance_data // [] | join(" ")), .last_check_result.check_source,
         (.last_check_result.execution_start | tostring)]
      | join("\u001f")'
}
all_recorded() { [ "$(recorded "${1:-0}" | wc -l)" -eq ${#services[@]} ]; }
wait_for 90 all_recorded || {
  echo "FAIL: the master holds results for only:"; recorded; tail -20 "$m/icinga2.log" "$s/icinga2.log"; exit 1
}

# The checks run every 2 s: the agent's answer to compare with is its last one with the
# text the master shows (a newer one may still be on its way up).
agent_answer() {
  grep -a '^> #keycount=5#responseaction=runcheck#' /var/log/dorv/dorv.log | grep -aF "#checkid=$1#" |
    grep -aF "#resultstring=${shown#* - }#" | tail -n 1 | sed -E 's/.*#result=([^#]*)#resultstring=([^#]*)#$/\1\t\2/'
}
echo "== what the master holds for the satellite's zone (/v1/objects/services)"
failed=0
for row in "${services[@]}"; do
  IFS='|' read -r service check _ <<<"$row"
  IFS=$'\x1f' read -r _ state output perf source _ <<<"$(recorded | grep -F "$service"$'\x1f')"
  shown=${output%% |*}
  expect_recorded "$service" "$check" "$state" "$output" "$perf" || failed=1
  [ "$source" = "$satellite" ] || { echo "  check source: want $satellite, got $source"; failed=1; }
done

# Connection reuse: a further round of every check logs in no more.
logins() { grep -c 'Accepted publickey for dorv' "$T/sshd.log" || true; }
before=$(logins) round=$(date +%s.%N)
wait_for 60 all_recorded "$round" || { echo "FAIL: no second round of checks"; failed=1; }
after=$(logins)
echo "ssh logins for dorv: $before after the first round, $after after the second"
((after == before)) || { echo "  want no new login for the second round"; failed=1; }

# The satellite stopped (as its service manager stops it: SIGTERM, and SIGKILL after 10 s):
# the master's health check of the zone says so, and the zone's services keep what the
# satellite last measured, past the time their next check was due.
zone_state() {
  api "hosts/$satellite?attrs=state&attrs=last_check_result" |
    jq -r '.results[0].attrs | "\(.state | floor)\u001f\(.last_check_result.output)"'
}
zone_up() { [[ "$(zone_state)" == 0$'\x1f'"Zone '$satellite' is connected."* ]]; }
wait_for 30 zone_up || { echo "FAIL: the zone's health check: $(zone_state)"; exit 1; }
kill -TERM -- "-$satellite_pid"
wait_for 10 bash -c "! kill -0 -- -$satellite_pid 2>/dev/null" || kill -KILL -- "-$satellite_pid"
zone_down() { [ "$(zone_state | cut -d$'\x1f' -f1)" = 1 ]; }
wait_for 60 zone_down || { echo "FAIL: the zone's health check stayed: $(zone_state)"; exit 1; }
IFS=$'\x1f' read -r state output <<<"$(zone_state)"
printf '%-16s state=%s output="%s"\n' "$satellite" "$state" "$output"
[[ $output == "Zone '$satellite' is not connected."* ]] || { echo "  want \"Zone '$satellite' is not connected. ...\""; failed=1; }
recorded | sort >"$T/last"
all_late() {
  [ "$(api 'services?attrs=next_check' | jq --argjson now "$(date +%s)" '[.results[].attrs | select(.next_check >= $now)] | length')" = 0 ]
}
wait_for 30 all_late || { echo "  the zone's services are still due"; failed=1; }
echo "== the satellite's zone, its satellite stopped and its checks overdue"
cut -d$'\x1f' -f1-5 "$T/last" | tr '\037' '|'
[ "$(cut -d$'\x1f' -f5 "$T/last" | sort -u)" = "$satellite" ] || { echo "  want every result from $satellite"; failed=1; }
diff <(recorded | sort) "$T/last" || { echo "  the zone's services changed without their satellite"; failed=1; }
((failed == 0)) && echo PASS
