#!/usr/bin/env bash
# dorv-console --submit into a private Icinga 2's REST API: the installed package's
# console checks this host over its sshd (set up as the README says) and posts each
# result to /v1/actions/process-check-result; what Icinga recorded for each passive
# service (state, output, performance data, check source, read back through the API) is
# compared with what the agent answered. A wrong password and an unknown service are
# reported per result and in the exit status.
#
#   icinga_submit_test.sh AGENT_DEB CONSOLE_DEB
set -euo pipefail
source "$(dirname "$0")/private_host.sh"
debs=("$(realpath "$1")" "$(realpath "$2")")
need_tools icinga2 openssl curl jq dpkg sshd ssh-keygen runuser
enter_private_host "$@"
source "$(dirname "$0")/services.sh"

install_dorv "${debs[@]}"
start_sshd
readme_ssh_setup nagios >/dev/null

certs=/var/lib/icinga2/certs
icinga_prepare
printf '127.0.0.1 %s\n' "$node" >>/etc/hosts
printf '%s\n' "$password" >"$i/password"
printf 'not-%s\n' "$password" >"$i/wrong"
chmod 0600 "$i/password" "$i/wrong"

{
  cat <<CFG
const NodeName = "$node"
const ZoneName = "$node"
include <itl>
object Endpoint NodeName { }
object Zone ZoneName { endpoints = [ NodeName ] }
object ApiListener "api" { bind_host = "127.0.0.1" }
object ApiUser "dorv-submit" {
  password = "$password"
  permissions = [ "actions/process-check-result", "objects/query/*" ]
}
object FileLogger "main" { path = "$i/icinga2.log"; severity = "information" }
object Host "dorv-host" { address = "127.0.0.1"; check_command = "dummy"; enable_active_checks = false }
CFG
  for row in "${services[@]}"; do
    IFS='|' read -r service _ <<<"$row"
    printf 'object Service "%s" {\n  host_name = "dorv-host"\n  check_command = "dummy"\n  enable_active_checks = false\n}\n' \
      "$service"
  done
} >"$i/icinga2.conf"
icinga_start bash -c "exec 3<>/dev/tcp/127.0.0.1/5665"

# submit PASSWORD_FILE COMMANDS...: the console as the scheduler's user, its standard
# error in $i/submit.err; its exit status.
submit() {
  local file=$1
  shift
  runuser -u nagios -- dorv-console --ssh dorv@127.0.0.1 --ssh-option -oBatchMode=yes -t 20 --host dorv-host \
    --submit "https://$node:5665" --submit-user dorv-submit --submit-password-file "$file" \
    --submit-ca $certs/ca.crt "$@" 2>"$i/submit.err"
}
all_checks=(run CPU -w 80 -c 90 + run DiskSpace -w 20 -c 10 / + run RAM -w 20 -c 10 + run Swap -w 20 -c 10
  + run Processes sshd)

# The process-check-result requests Icinga logged, by the client address and port each
# came from.
posts() { grep -o 'Request: POST /v1/actions/process-check-result (from [^)]*' "$i/icinga2.log" || true; }
now=$(date +%s)
status=0
submit "$i/password" "${all_checks[@]}" || status=$?
failed=0
[ "$status" -lt 3 ] && [ ! -s "$i/submit.err" ] ||
  { echo "FAIL: submit exit status $status:"; cat "$i/submit.err"; failed=1; }
# One kept connection carried all five results (Icinga writes its log a little later).
five_posts() { [ "$(posts | wc -l)" -ge 5 ]; }
wait_for 20 five_posts || echo "FAIL: Icinga logged $(posts | wc -l) requests"
connections=$(posts | sort -u | wc -l)
echo "API connections for five results: $connections"
[ "$connections" -eq 1 ] || failed=1

# What Icinga recorded for each service since the test began: SERVICE, STATE, OUTPUT,
# PERF and CHECK_SOURCE, separated by the unit separator.
recorded() {
  curl -fsS --cacert $certs/ca.crt -u "dorv-submit:$password" \
    "https://$node:5665/v1/objects/services?attrs=name&attrs=last_check_result" |
    jq -r --argjson since "$now" '.results[].attrs | select(.last_check_result != null)
      | select(.last_check_result.execution_end >= $since)
      | [.name, (.last_check_result.state | floor | tostring), .last_check_result.output,
         (.last_check_result.performance_data // [] | join(" ")), .last_check_result.check_source]
      | join("\u001f")'
}
echo "== what Icinga recorded (/v1/objects/services)"
for row in "${services[@]}"; do
  IFS='|' read -r service check _ <<<"$row"
  IFS=$'\x1f' read -r _ state output perf source <<<"$(recorded | grep -F "$service"$'\x1f')"
  expect_recorded "$service" "$check" "$state" "$output" "$perf" || failed=1
  [ "$source" = "$(hostname)" ] || { echo "  check_source: want $(hostname), got $source"; failed=1; }
done

echo "== the same through --hosts"
printf 'dorv@127.0.0.1 dorv-host\n' >"$i/hosts"
chown nagios:nagios "$i/hosts"
status=0
runuser -u nagios -- dorv-console --hosts "$i/hosts" --ssh-option -oBatchMode=yes -t 20 \
  --submit "https://$node:5665" --submit-user dorv-submit --submit-password-file "$i/password" \
  --submit-ca $certs/ca.crt "${all_checks[@]}" 2>"$i/submit.err" || status=$?
cat "$i/submit.err"
[ "$status" -eq 0 ] && grep -q '^dorv-console: 1 host: 1 answered, 0 failed, slowest dorv-host ' "$i/submit.err" &&
  [ "$(wc -l <"$i/submit.err")" -eq 1 ] || { echo "FAIL: want status 0 and the summary alone, got $status"; failed=1; }

echo "== a wrong password"
status=0
submit "$i/wrong" run CPU -c 90 + run RAM -c 10 || status=$?
cat "$i/submit.err"
[ "$status" -eq 3 ] && [ "$(grep -c 'was not accepted: HTTP 401' "$i/submit.err")" -eq 2 ] ||
  { echo "FAIL: want status 3 and two results refused with 401, got $status"; failed=1; }

echo "== an unknown service"
status=0
submit "$i/password" run CPU -c 90 + run Processes sshd --service "no such service" || status=$?
cat "$i/submit.err"
[ "$status" -eq 3 ] && grep -q "^dorv-console: the result of dorv-host!no such service was not accepted: HTTP 404" \
  "$i/submit.err" && [ "$(wc -l <"$i/submit.err")" -eq 1 ] ||
  { echo "FAIL: want status 3 and the unknown service alone refused, got $status"; failed=1; }

((failed == 0)) && echo PASS
