# nagios_main_cfg DIR [LINE...]: the main configuration of a private Nagios 4 whose files
# all live in DIR, reading the shipped dorv commands and DIR/objects.cfg, with active
# service checks run at once and nothing notified; each LINE is added at its end.
nagios_main_cfg() {
  local n=$1
  shift
  cat <<CFG
log_file=$n/nagios.log
cfg_file=/usr/share/doc/dorv-console/contrib/nagios/dorv.cfg
cfg_file=$n/objects.cfg
object_cache_file=$n/objects.cache
precached_object_file=$n/objects.precache
status_file=$n/status.dat
status_update_interval=1
command_file=$n/nagios.cmd
check_external_commands=1
check_result_path=$n/checkresults
check_result_reaper_frequency=1
lock_file=$n/nagios.lock
temp_file=$n/nagios.tmp
temp_path=$n
state_retention_file=$n/retention.dat
retain_state_information=0
nagios_user=nagios
nagios_group=nagios
enable_notifications=0
execute_host_checks=0
service_check_timeout=40
use_syslog=0
CFG
  (($# == 0)) || printf '%s\n' "$@"
}
