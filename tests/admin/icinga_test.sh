#!/usr/bin/env bash
# A private Icinga 2 checks this host through the installed package's CheckCommand
# "dorv", over the host's sshd on 127.0.0.1, set up as the README says. Every service's
# check is forced through Icinga's command pipe; what Icinga recorded (its API's service
# objects) is compared with what the agent answered (its trace).
#
#   icinga_test.sh AGENT_DEB CONSOLE_DEB
set -euo pipefail
source "$(dirname "$0")/private_host.sh"
debs=("$(realpath "$1")" "$(realpath "$2")")
need_tools icinga2 openssl curl jq dpkg sshd ssh-keygen runuser
enter_private_host "$@"
source "$(dirname "$0")/services.sh"

install_dorv "${debs[@]}"
install_own_check
start_sshd
readme_ssh_setup nagios >/dev/null

# The API's certificates (the test reads Icinga's records through it on 127.0.0.1).
icinga_prepare

{
  cat <<CFG
const NodeName = "$node"
const ZoneName = "$node"
include <itl>
object Endpoint NodeName { }
object Zone ZoneName { endpoints = [ NodeName ] }
object ApiListener "api" { bind_host = "127.0.0.1" }
object ApiUser "dorv-test" { password = "$password"; permissions = [ "objects/query/*" ] }
object ExternalCommandListener "command" { command_path = "$i/icinga2.cmd" }
object CheckerComponent "checker" { }
object FileLogger "main" { path = "$i/icinga2.log"; severity = "information" }
include "/usr/share/doc/dorv-console/contrib/icinga2/dorv.conf"
object Host "dorv-host" {
  address = "127.0.0.1"
  check_command = "dummy"
  enable_active_checks = false
}
CFG
  for row in "${services[@]}"; do
    IFS='|' read -r service _ _ vars <<<"$row"
    printf 'object Service "%s" {\n  host_name = "dorv-host"\n  check_command = "dorv"\n  check_interval = 1d\n  %s\n}\n' \
      "$service" "$vars"
  done
  printf 'object Service "%s" {\n  host_name = "dorv-host"\n  check_command = "dorv"\n  check_interval = 1d\n  vars.dorv_check = "%s"\n}\n' \
    "$own_service" "$own_service"
  # Passive results only: the console's passive line goes to the command pipe.
  printf 'object Service "%s" {\n  host_name = "dorv-host"\n  check_command = "dummy"\n  enable_active_checks = false\n}\n' \
    "$lines_service"
} >"$i/icinga2.conf"
icinga_start test -p "$i/icinga2.cmd"

now=$(date +%s)
for row in "${services[@]}" "$own_service"; do
  IFS='|' read -r service _ <<<"$row"
  printf '[%s] SCHEDULE_FORCED_SVC_CHECK;dorv-host;%s;%s\n' "$now" "$service" "$now" >"$i/icinga2.cmd"
done

# The services checked since the test began, as SERVICE, STATE, OUTPUT, PERF and the
# command line Icinga ran, separated by the unit separator. Icinga keeps the blank
# between the text and the '|' in its output; Nagios does not: it is dropped here.
recorded() {
  curl -fsS --cacert /var/lib/icinga2/certs/ca.crt --resolve "$node:5665:127.0.0.1" -u "dorv-test:$password" \
    "https://$node:5665/v1/objects/services?attrs=name&attrs=last_check_result" 2>/dev/null |
    jq -r --argjson since "$now" '.results[].attrs | select(.last_check_result != null)
      | select(.last_check_result.execution_start >= $since)
      | [.name, (.last_check_result.state | floor | tostring), (.last_check_result.output | sub(" +$"; "")),
         (.last_check_result.performance_data // [] | join(" ")), (.last_check_result.command | join(" "))]
      | join("\u001f")'
}
all_recorded() { [ "$(recorded | wc -l)" -eq $((${#services[@]} + 1)) ]; }
wait_for 60 all_recorded || { echo "FAIL: Icinga recorded only:"; recorded; tail -20 "$i/icinga2.log"; exit 1; }

echo "== what Icinga recorded (/v1/objects/services)"
failed=0
for row in "${services[@]}"; do
  IFS='|' read -r service check _ <<<"$row"
  IFS=$'\x1f' read -r _ state output perf command <<<"$(recorded | grep -F "$service"$'\x1f')"
  expect_recorded "$service" "$check" "$state" "$output" "$perf" || failed=1
  echo "  ran: $command"
done
IFS=$'\x1f' read -r _ state output perf command <<<"$(recorded | grep -F "$own_service"$'\x1f')"
expect_own_recorded "$state" "$output" "$perf" || failed=1
echo "  ran: $command"

# The plugin with long output and backslashes, as a passive result through the pipe: Icinga
# keeps the long output in the output, after a line end. Recorded as STATE, OUTPUT (as
# JSON) and PERF.
runuser -u nagios -- dorv-console --ssh dorv@127.0.0.1 --ssh-option -oBatchMode=yes --format passive \
  --host dorv-host run "$lines_service" >"$i/icinga2.cmd" || [ $? -eq 1 ] # the plugin's WARNING
lines_recorded() {
  curl -fsS --cacert /var/lib/icinga2/certs/ca.crt --resolve "$node:5665:127.0.0.1" -u "dorv-test:$password" \
    "https://$node:5665/v1/objects/services?attrs=name&attrs=last_check_result" 2>/dev/null |
    jq -r --arg name "$lines_service" '.results[].attrs | select(.name == $name) | .last_check_result
      | select(. != null) | [(.state | floor | tostring), (.output | @json), (.performance_data // [] | join(" "))]
      | join("\u001f")'
}
wait_for 30 test -n "$(lines_recorded)" || { echo "FAIL: no passive result for $lines_service"; failed=1; }
IFS=$'\x1f' read -r state output perf <<<"$(lines_recorded)"
printf '%-16s state=%s output=%s perfdata="%s"\n' "$lines_service" "$state" "$output" "$perf"
want='"Lines WARNING - LINES WARNING - two lines follow\nline one C:\\temp\\x23 \\ end\nline two"'
[ "$state/$output/$perf" = "1/$want/a=1;2 b=2" ] || { echo "  want state=1 output=$want perfdata=\"a=1;2 b=2\""; failed=1; }
((failed == 0)) && echo PASS
