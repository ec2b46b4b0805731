# The services the scheduler tests define, one row each:
#   SERVICE|CHECK|NAGIOS CHECK_COMMAND|ICINGA VARS
# SERVICE is the name the console gives a passive result of the check. The commands are
# those of contrib/: check_dorv_limits takes the check, its warning and critical limits
# and its other values as arguments of their own; the Icinga CheckCommand "dorv" takes
# them as vars, each value a word of its own. limits holds "W C" per check.
declare -A limits=([CPU]="80 90" [DiskSpace]="20 10" [RAM]="20 10" [Swap]="20 10")
icinga_limits() { set -- ${limits[$1]}; echo "vars.dorv_warning = $1; vars.dorv_critical = $2"; }
services=(
  "CPU|CPU|check_dorv_limits!CPU!${limits[CPU]/ /!}|vars.dorv_check = \"CPU\"; $(icinga_limits CPU)"
  "DiskSpace /|DiskSpace|check_dorv_limits!DiskSpace!${limits[DiskSpace]/ /!}!/|vars.dorv_check = \"DiskSpace\"; $(icinga_limits DiskSpace); vars.dorv_values = [ \"/\" ]"
  "RAM|RAM|check_dorv_limits!RAM!${limits[RAM]/ /!}|vars.dorv_check = \"RAM\"; $(icinga_limits RAM)"
  "Swap|Swap|check_dorv_limits!Swap!${limits[Swap]/ /!}|vars.dorv_check = \"Swap\"; $(icinga_limits Swap)"
  "Processes sshd|Processes|check_dorv!Processes sshd|vars.dorv_check = \"Processes\"; vars.dorv_values = [ \"sshd\" ]"
)

# A check of the administrator's own, declared in a drop-in file of the agent's, running a
# plugin of Debian's monitoring-plugins-basic: WARNING whatever / holds (its warning limit
# is 100 % free), with performance data.
own_service=RootDisk
own_check="[check:$own_service]
description=The root file system by check_disk
command=/usr/lib/nagios/plugins/check_disk -w 100% -c 0% -p /"
# A plugin of the test's own with long output holding lone backslashes (which the
# schedulers keep as they are in a passive result), for the schedulers that keep long
# output apart.
lines_service=Lines
lines_plugin=/usr/lib/dorv-test/check_lines
# install_own_check: the drop-in file, root's and readable by the agent, and the plugin.
install_own_check() {
  mkdir -p /etc/dorv/dorv.d "${lines_plugin%/*}"
  printf '%s\n[check:%s]\ncommand=%s\n' "$own_check" "$lines_service" "$lines_plugin" >/etc/dorv/dorv.d/admin-test.ini
  chmod 0644 /etc/dorv/dorv.d/admin-test.ini
  cat >"$lines_plugin" <<'PLUGIN'
#!/bin/sh
printf '%s\n' 'LINES WARNING - two lines follow|a=1;2' 'line one C:\temp\x23 \ end' 'line two | b=2'
exit 1
PLUGIN
  chmod 0755 "$lines_plugin"
}

# expect_lines_recorded STATE OUTPUT LONG PERFDATA: what a scheduler recorded for the
# plugin with long output; LONG as Nagios's status file writes it, a backslash doubled and
# a line end as "\n".
expect_lines_recorded() {
  local want_long='line one C:\\temp\\x23 \\ end\nline two'
  printf '%-16s state=%s output="%s" long="%s" perfdata="%s"\n' "$lines_service" "$@"
  [ "$1/$2/$3/$4" = "1/$lines_service WARNING - LINES WARNING - two lines follow/$want_long/a=1;2 b=2" ] ||
    { echo "  want state=1 output=\"$lines_service WARNING - LINES WARNING - two lines follow\" long=\"$want_long\" perfdata=\"a=1;2 b=2\""; return 1; }
}

# expect_own_recorded STATE OUTPUT PERFDATA: what a scheduler recorded for the own check
# against the plugin's answer in the agent's trace (its state, text and performance data,
# which hold no byte that travels escaped); prints one line, returns 1 on a mismatch.
expect_own_recorded() {
  local state=$1 output=$2 perf=$3 answer plugin_state text plugin_perf
  answer=$(grep -a "^> #keycount=8#responseaction=runcheck#.*#checkid=$own_service#" /var/log/dorv/dorv.log |
    tail -n 1 | sed -E 's/.*#state=([^#]*)#resultstring=([^#]*)#perfdata=([^#]*)#longoutput=[^#]*#$/\1\t\2\t\3/')
  IFS=$'\t' read -r plugin_state text plugin_perf <<<"$answer"
  printf '%-16s state=%s output="%s" perfdata="%s"\n' "$own_service" "$state" "$output" "$perf"
  [ "$plugin_state" = warning ] || { echo "  the agent's answer: want state=warning, got \"$answer\""; return 1; }
  [ "$state" = 1 ] || { echo "  state: want 1"; return 1; }
  # Nagios writes a ';' of the output as ':' in its status file.
  [ "$output" = "$own_service WARNING - $text" ] || [ "$output" = "$own_service WARNING - ${text//;/:}" ] ||
    { echo "  output: want \"$own_service WARNING - $text\""; return 1; }
  [ -n "$plugin_perf" ] && [ "$perf" = "$plugin_perf" ] || { echo "  perfdata: want \"$plugin_perf\""; return 1; }
}
