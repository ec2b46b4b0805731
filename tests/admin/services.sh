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
