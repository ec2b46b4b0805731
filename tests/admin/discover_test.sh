#!/usr/bin/env bash
# dorv-console discover against the real schedulers. A private host offers the five
# checks, two data file systems and a tmpfs (besides its overlays), configured checks (one with a list, one with
# a number that names its usual value, one with a number that does not), and hostile
# values: two mount points and a list value with ', ", ;, $(...), ! and a line end.
# Its Nagios and Icinga 2 configuration must load with the shipped contrib files and a
# host definition of the user's own; Nagios then checks every generated service and must
# record the state that the same check by hand gives. No shell may run a hostile value
# (a marker file), and two runs print the same bytes.
#
#   discover_test.sh AGENT_DEB CONSOLE_DEB
set -euo pipefail
source "$(dirname "$0")/private_host.sh"
source "$(dirname "$0")/nagios_cfg.sh"
debs=("$(realpath "$1")" "$(realpath "$2")")
need_tools nagios4 icinga2 dpkg sshd ssh-keygen runuser mkfs.ext4 losetup
enter_private_host "$@"

install_dorv "${debs[@]}"
marker=/tmp/dorv-discover-marker
# ('"' cannot travel in the agent's packets: the agent leaves such mount points out.)
hostile="h'q;\$(touch $marker)!"
# Small ext4 images on loop devices: file systems with data of the host's own. The
# hostile mount points are such file systems too, so that only their names are refused.
data_mount() {
  truncate -s 4M "$T/fs$2.img"
  mkfs.ext4 -q "$T/fs$2.img"
  mkdir -p "$1"
  mount -o loop "$T/fs$2.img" "$1"
}
data_mount /srv/data-a 1
data_mount /srv/data-b 2
data_mount "/srv/$hostile" 3
data_mount $'/srv/line\nend' 4
# A tmpfs where data could be: left out for its type, not its place.
mkdir -p /srv/scratch && mount -t tmpfs dorv-scratch /srv/scratch
trap 'stop_started; umount /srv/* 2>/dev/null || true' EXIT
plugins=/usr/lib/nagios/plugins
mkdir -p /etc/dorv/dorv.d
cat >/etc/dorv/dorv.d/discover-test.ini <<INI
[check:Site]
command=$plugins/check_dummy 0 {Site}
list=Site: www.example.org, api.example.org, a'b;\$(touch $marker)!c
[check:Days]
command=$plugins/check_dummy {Days} days
number=Days: 1
[check:Cert]
command=$plugins/check_dummy 0 {Days warning}
number=Days warning
INI
chmod 0644 /etc/dorv/dorv.d/discover-test.ini
start_sshd
readme_ssh_setup nagios >/dev/null

# discover FORMAT: the configuration of the host "db1", asked as the scheduler's user.
console=(dorv-console --ssh dorv@127.0.0.1 --ssh-option -oBatchMode=yes -t 20)
discover() { runuser -u nagios -- "${console[@]}" --host db1 --format "$1" discover; }
failed=0
for format in nagios icinga2; do
  discover $format >"$T/db1.$format"
  discover $format >"$T/db1.$format.again"
  cmp -s "$T/db1.$format" "$T/db1.$format.again" || { echo "FAIL: two $format runs differ"; failed=1; }
  # Each hostile value is left out with a comment, and no line but a comment holds one of
  # their characters. df shows the line end as '?', which Icinga 2 can carry in a string.
  items=("DiskSpace /srv/h?q???touch $marker??" "Site a?b???touch $marker??c")
  [ $format = icinga2 ] || items+=("DiskSpace /srv/line?end")
  for item in "${items[@]}"; do
    grep -qF "left out: $item (host db1)" "$T/db1.$format" || { echo "FAIL: $format: no comment for $item"; failed=1; }
  done
  comment='^#' unsafe="['\"!;\$]"
  [ $format = nagios ] || comment='^//' unsafe="[';!]|\\$"
  if grep -vE "$comment" "$T/db1.$format" | sed 's/check_dorv!//' | grep -E "$unsafe"; then
    echo "FAIL: $format holds a hostile character outside a comment"
    failed=1
  fi
  # The tmpfs, and the private host's overlays of /usr, /etc and /var.
  for item in "/srv/scratch (host db1): a system file system (tmpfs)" "/usr (host db1): a system file system (overlay)"; do
    grep -qF "left out: DiskSpace $item" "$T/db1.$format" || { echo "FAIL: $format: DiskSpace $item not left out"; failed=1; }
  done
  grep -q 'left out: Cert (host db1): no usual value for "Days warning"' "$T/db1.$format" ||
    { echo "FAIL: $format: Cert is not left out for its number"; failed=1; }
done
# A host list gives each host's configuration, in name order, as a run of its own does; a
# host without an agent (nothing listens on 127.0.0.2) gets a comment, and the status 3.
printf 'dorv@127.0.0.1 db2\ndorv@127.0.0.2 db3\ndorv@127.0.0.1 db1\n' >"$T/hosts"
status=0
runuser -u nagios -- dorv-console --hosts "$T/hosts" -j 2 --ssh-option -oBatchMode=yes --format nagios discover \
  >"$T/fleet.nagios" 2>"$T/fleet.err" || status=$?
[ $status = 3 ] || { echo "FAIL: --hosts with a host down: exit status $status"; cat "$T/fleet.err"; failed=1; }
{
  cat "$T/db1.nagios"
  runuser -u nagios -- "${console[@]}" --host db2 --format nagios discover
  echo "# dorv-console discover: host db3 gave no configuration: see the run's messages"
} | cmp -s - "$T/fleet.nagios" || { echo "FAIL: --hosts printed other than each host one by one"; failed=1; }
echo "== discovered for Nagios"
grep -E 'service_description|check_command|^# left out' "$T/db1.nagios"

n=$T/nagios
mkdir -p "$n/checkresults"
cp "$T/db1.nagios" "$n/discovered.cfg"
# The user's own host, contact and time period; the services come from discover.
cat >"$n/objects.cfg" <<CFG
define timeperiod {
    timeperiod_name 24x7
    alias           always
    sunday 00:00-24:00
    monday 00:00-24:00
    tuesday 00:00-24:00
    wednesday 00:00-24:00
    thursday 00:00-24:00
    friday 00:00-24:00
    saturday 00:00-24:00
}
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
    host_name           db1
    contacts            nobody
    notification_period 24x7
    notification_interval 0
    address             127.0.0.1
    max_check_attempts  1
    check_period        24x7
    active_checks_enabled 0
}
CFG
nagios_main_cfg "$n" "cfg_file=$n/discovered.cfg" >"$n/nagios.cfg"
chown -R nagios:nagios "$n"
nagios4 -v "$n/nagios.cfg" >"$n/verify.log" 2>&1 || { cat "$n/verify.log"; exit 1; }

i=$T/icinga2
mkdir -p "$i"
cat >"$i/icinga2.conf" <<CFG
include <itl>
include "/usr/share/doc/dorv-console/contrib/icinga2/dorv.conf"
include "/usr/share/doc/dorv-console/contrib/icinga2/dorv-discovered.conf"
include "$T/db1.icinga2"
object Host "db1" {
  import "dorv-db1"
  address = "127.0.0.1"
  check_command = "dummy"
}
CFG
chown -R nagios:nagios "$i" /var/lib/icinga2 /var/cache/icinga2 /var/log/icinga2
icinga2 daemon -C -c "$i/icinga2.conf" >"$i/validate.log" 2>&1 || { cat "$i/validate.log"; exit 1; }
icinga_services=$(sed -n 's/.*Instantiated \([0-9]*\) Services\..*/\1/p' "$i/validate.log")
nagios_services=$(grep -c '^define service' "$n/discovered.cfg")
echo "== Icinga 2 loads $icinga_services services, Nagios $nagios_services"
# Icinga 2 carries "DiskSpace /srv/line?end" as a string; Nagios leaves it out.
[ "$icinga_services" = $((nagios_services + 1)) ] || { echo "FAIL: the two formats give different services"; cat "$i/validate.log"; failed=1; }

# Nagios checks every discovered service once, forced through its command file.
setsid nagios4 "$n/nagios.cfg" >"$n/stdout.log" 2>&1 &
started_pid $!
wait_for 20 test -p "$n/nagios.cmd" || { cat "$n/nagios.log" "$n/stdout.log"; exit 1; }
mapfile -t names < <(sed -n 's/^    service_description     //p' "$n/discovered.cfg")
now=$(date +%s)
for s in "${names[@]}"; do
  printf '[%s] SCHEDULE_FORCED_SVC_CHECK;db1;%s;%s\n' "$now" "$s" "$now" >"$n/nagios.cmd"
done
# SERVICE<TAB>STATE of every service checked since then.
recorded() {
  awk -v since="$now" '
    /^servicestatus \{/ { in_block = 1; delete f; next }
    in_block && /^\t}/ {
      in_block = 0
      if (f["has_been_checked"] == 1 && f["last_check"] >= since) print f["service_description"] "\t" f["current_state"]
      next
    }
    in_block { line = $0; sub(/^\t/, "", line); k = line; sub(/=.*/, "", k); v = line; sub(/^[^=]*=/, "", v); f[k] = v }
  ' "$n/status.dat" 2>/dev/null
}
all_recorded() { [ "$(recorded | wc -l)" -eq "${#names[@]}" ]; }
wait_for 60 all_recorded || { echo "FAIL: Nagios recorded only:"; recorded; tail -20 "$n/nagios.log"; exit 1; }

echo "== each service as Nagios recorded it and as the same check by hand gives it"
while IFS= read -r s; do
  args=$(awk -v s="$s" '$1 == "service_description" { $1 = ""; found = (substr($0, 2) == s) }
    found && $1 == "check_command" { sub(/^check_dorv!/, "", $2); $1 = ""; print substr($0, 2); exit }' \
    "$n/discovered.cfg")
  read -ra words <<<"$args"
  state=$(recorded | awk -F'\t' -v s="$s" '$1 == s { print $2 }')
  # A busy host's CPU load may cross its limit between two checks: up to three tries.
  for try in 1 2 3; do
    by_hand=0
    runuser -u nagios -- "${console[@]}" --format plugin run "${words[@]}" >/dev/null || by_hand=$?
    [ "$state" != "$by_hand" ] && [ "$s" = CPU ] || break
  done
  printf '%-40s nagios=%s by hand=%s\n' "$s" "$state" "$by_hand"
  [ "$state" = "$by_hand" ] || failed=1
done < <(printf '%s\n' "${names[@]}")
for want in "DiskSpace /srv/data-a" "DiskSpace /srv/data-b" "Site www.example.org" "Site api.example.org" \
  "Days" "CPU" "RAM" "Swap" "Processes sshd"; do
  printf '%s\n' "${names[@]}" | grep -qxF "$want" || { echo "FAIL: no service $want"; failed=1; }
done
[ ! -e "$marker" ] || { echo "FAIL: a shell ran a hostile value ($marker exists)"; failed=1; }
((failed == 0)) && echo PASS
