#!/usr/bin/env bash
# A private Nagios 4 checks this host through the installed package's contrib command
# definitions, over the host's sshd on 127.0.0.1, set up as the README says. Every
# service's check is forced through Nagios's command file; what Nagios recorded in its
# status file is compared with what the agent answered (its trace).
#
#   nagios_test.sh AGENT_DEB CONSOLE_DEB
set -euo pipefail
source "$(dirname "$0")/private_host.sh"
source "$(dirname "$0")/nagios_cfg.sh"
debs=("$(realpath "$1")" "$(realpath "$2")")
need_tools nagios4 dpkg sshd ssh-keygen runuser
enter_private_host "$@"
source "$(dirname "$0")/services.sh"

install_dorv "${debs[@]}"
install_own_check
start_sshd
readme_ssh_setup nagios >/dev/null

n=$T/nagios
# Threshold ranges, judged by the console: WARNING outside 10 to 90, CRITICAL from 0 to 5.
range_service="CPU ranges"
# The passive submission of all five from one connection, as contrib's comment shows it.
passive_args="run CPU -w 80 -c 90 + run DiskSpace -w 20 -c 10 / + run RAM -w 20 -c 10 + run Swap -w 20 -c 10 + run Processes sshd + run $own_service + run $lines_service"
mkdir -p "$n/checkresults"
# active_service HOST NAME COMMAND: a service checked only when the test forces it.
active_service() {
  cat <<CFG
define service {
    host_name           $1
    service_description $2
    check_command       $3
    contacts            nobody
    notification_period 24x7
    notification_interval 0
    max_check_attempts  1
    check_interval      1440
    retry_interval      1440
    check_period        24x7
}
CFG
}
{
  echo 'define timeperiod {'
  echo '    timeperiod_name 24x7'
  echo '    alias           always'
  for day in sunday monday tuesday wednesday thursday friday saturday; do echo "    $day 00:00-24:00"; done
  echo '}'
  cat <<CFG
define command {
    command_name        notify_nobody
    command_line        /bin/true
}
define contact {
    contact_name        nobody
    host_notifications_enabled 0
    service_notifications_enabled 0
    host_notification_period 24x7
    service_notification_period 24x7
    host_notification_options n
    service_notification_options n
    host_notification_commands notify_nobody
    service_notification_commands notify_nobody
}
define host {
    host_name           dorv-host
    contacts            nobody
    notification_period 24x7
    notification_interval 0
    address             127.0.0.1
    max_check_attempts  1
    check_period        24x7
    active_checks_enabled 0
}
define host {
    host_name           dorv-passive
    contacts            nobody
    notification_period 24x7
    notification_interval 0
    address             127.0.0.1
    max_check_attempts  1
    check_period        24x7
    active_checks_enabled 0
}
CFG
  active_service dorv-passive "dorv submit" "submit_dorv_passive!$passive_args"
  for row in "${services[@]}" "$own_service" "$lines_service"; do
    IFS='|' read -r service _ <<<"$row"
    printf 'define service {\n    use dorv-passive-service\n    host_name dorv-passive\n    service_description %s\n    contacts nobody\n    notification_period 24x7\n    notification_interval 0\n}\n' "$service"
  done
  for row in "${services[@]}"; do
    IFS='|' read -r service _ nagios_args _ <<<"$row"
    active_service dorv-host "$service" "$nagios_args"
  done
  active_service dorv-host "$own_service" "check_dorv!$own_service"
  active_service dorv-host "$lines_service" "check_dorv!$lines_service"
  active_service dorv-host "$range_service" "check_dorv_limits!CPU!10:90!@0:5"
} >"$n/objects.cfg"
nagios_main_cfg "$n" 'illegal_macro_output_chars=`~$&|'"'"'"<>' >"$n/nagios.cfg"
chown -R nagios:nagios "$n"
nagios4 -v "$n/nagios.cfg" >"$n/verify.log" 2>&1 || { cat "$n/verify.log"; exit 1; }
setsid nagios4 "$n/nagios.cfg" >"$n/stdout.log" 2>&1 &
started_pid $!
wait_for 20 test -p "$n/nagios.cmd" || { cat "$n/nagios.log" "$n/stdout.log"; exit 1; }

now=$(date +%s)
for row in "${services[@]}" "$own_service" "$lines_service"; do
  IFS='|' read -r service _ <<<"$row"
  printf '[%s] SCHEDULE_FORCED_SVC_CHECK;dorv-host;%s;%s\n' "$now" "$service" "$now" >"$n/nagios.cmd"
done

# servicestatus blocks of the status file as HOST, SERVICE, CHECK_TYPE, STATE, OUTPUT,
# LONG, PERF separated
# by the unit separator (a tab would let read merge empty fields),
# for the services checked since the test began.
recorded() {
  awk -v since="$now" -v us=$'\x1f' '
    /^servicestatus \{/ { in_block = 1; delete f; next }
    in_block && /^\t}/ {
      in_block = 0
      if (f["has_been_checked"] == 1 && f["last_check"] >= since)
        print f["host_name"] us f["service_description"] us f["check_type"] us f["current_state"] us f["plugin_output"] us f["long_plugin_output"] us f["performance_data"]
      next
    }
    in_block { line = $0; sub(/^\t/, "", line); k = line; sub(/=.*/, "", k); v = line; sub(/^[^=]*=/, "", v); f[k] = v }
  ' "$n/status.dat" 2>/dev/null
}
recorded_of() { recorded | grep "^$1"$'\x1f'; }
all_recorded() { [ "$(recorded_of dorv-host | wc -l)" -eq $((${#services[@]} + 2)) ]; }
wait_for 60 all_recorded || { echo "FAIL: Nagios recorded only:"; recorded; tail -20 "$n/nagios.log"; exit 1; }

# compare HOST CHECK_TYPE: the five services of HOST against the agent's trace.
compare() {
  local row service check type state output long perf failed=0
  for row in "${services[@]}"; do
    IFS='|' read -r service check _ <<<"$row"
    IFS=$'\x1f' read -r _ _ type state output long perf <<<"$(recorded_of "$1" | grep -F $'\x1f'"$service"$'\x1f')"
    expect_recorded "$service" "$check" "$state" "$output" "$perf" || failed=1
    [ "$type" = "$2" ] || { echo "  check_type: want $2, got \"$type\""; failed=1; }
    [ -z "$long" ] || { echo "  long output: want none, got \"$long\""; failed=1; }
  done
  IFS=$'\x1f' read -r _ _ type state output long perf <<<"$(recorded_of "$1" | grep -F $'\x1f'"$own_service"$'\x1f')"
  expect_own_recorded "$state" "$output" "$perf" || failed=1
  [ "$type" = "$2" ] || { echo "  check_type: want $2, got \"$type\""; failed=1; }
  IFS=$'\x1f' read -r _ _ type state output long perf <<<"$(recorded_of "$1" | grep -F $'\x1f'"$lines_service"$'\x1f')"
  expect_lines_recorded "$state" "$output" "$long" "$perf" || failed=1
  return $failed
}
# The ranged check, forced once the others are compared (their expectations come from the
# agent's last answer for their check): the state the load in its output gives, the ranges
# in its performance data, and the agent asked with a limit that never fires.
expect_range_recorded() {
  local state output perf load want word since=$(date +%s)
  printf '[%s] SCHEDULE_FORCED_SVC_CHECK;dorv-host;%s;%s\n' "$since" "$range_service" "$since" >"$n/nagios.cmd"
  range_recorded() { recorded_of dorv-host | grep -qF $'\x1f'"$range_service"$'\x1f'; }
  wait_for 60 range_recorded || { echo "FAIL: Nagios recorded no $range_service"; return 1; }
  IFS=$'\x1f' read -r _ _ _ state output _ perf <<<"$(recorded_of dorv-host | grep -F $'\x1f'"$range_service"$'\x1f')"
  printf '%-16s state=%s output="%s" perfdata="%s"\n' "$range_service" "$state" "$output" "$perf"
  load=$(sed -nE 's/^CPU [A-Z]+ - CPU load is ([0-9]+)$/\1/p' <<<"$output")
  [ -n "$load" ] || { echo "  output: want \"CPU STATE - CPU load is N\""; return 1; }
  if ((load <= 5)); then want=2 word=CRITICAL; elif ((load < 10 || load > 90)); then want=1 word=WARNING; else want=0 word=OK; fi
  [ "$state/$output" = "$want/CPU $word - CPU load is $load" ] || { echo "  state: want $want ($word) for a load of $load"; return 1; }
  [ "${perf//\'/}" = "cpu_load=$load%;10:90;@5;0;100" ] || { echo "  perfdata: want 'cpu_load'=$load%;10:90;@5;0;100"; return 1; }
  grep -aq '#Load Limit \[%\]=999999999#' /var/log/dorv/dorv.log || { echo "  the agent was not asked with a limit that never fires"; return 1; }
}
accepted() { grep -c '^Accepted new connection for user dorv from IP 127.0.0.1$' /var/log/dorv/dorv.log; }
failed=0
echo "== what Nagios recorded of the active checks (status.dat)"
compare dorv-host 0 || failed=1
expect_range_recorded || failed=1
before=$(accepted)
[ "$before" -ge $((${#services[@]} + 3)) ] || { echo "FAIL: $before connections accepted for $((${#services[@]} + 3)) checks"; failed=1; }

# One passive submission of all five: the submitter is forced, the five passive services
# get their results from the command file.
now=$(date +%s)
printf '[%s] SCHEDULE_FORCED_SVC_CHECK;dorv-passive;dorv submit;%s\n' "$now" "$now" >"$n/nagios.cmd"
passive_recorded() { [ "$(recorded_of dorv-passive | wc -l)" -eq $((${#services[@]} + 3)) ]; }
wait_for 60 passive_recorded || { echo "FAIL: Nagios recorded only:"; recorded; tail -20 "$n/nagios.log"; exit 1; }
echo "== what Nagios recorded of the passive submission (status.dat)"
compare dorv-passive 1 || failed=1
IFS=$'\x1f' read -r _ service type state output long perf <<<"$(recorded_of dorv-passive | grep -F $'\x1f'"dorv submit"$'\x1f')"
printf '%-16s state=%s output="%s"\n' "$service" "$state" "$output"
[ "$state/$output" = "0/dorv OK - results submitted" ] || { echo "  submitter: want 0/dorv OK - results submitted"; failed=1; }
after=$(accepted)
[ "$after" -eq $((before + 1)) ] || { echo "FAIL: the submission made $((after - before)) connections, want 1"; failed=1; }
((failed == 0)) && echo PASS
