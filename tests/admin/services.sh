# The services the scheduler tests define, one row each:
#   SERVICE|CHECK|NAGIOS CHECK_COMMAND|ICINGA VARS
# SERVICE is the name the console gives a passive result of the check. The commands are
# those of contrib/: check_dorv takes the check and its values in one argument; the
# Icinga CheckCommand "dorv" takes them as vars, each value a word of its own.
services=(
  "CPU|CPU|check_dorv!CPU 90|vars.dorv_check = \"CPU\"; vars.dorv_values = [ \"90\" ]"
  "DiskSpace /|DiskSpace|check_dorv!DiskSpace 10 /|vars.dorv_check = \"DiskSpace\"; vars.dorv_values = [ \"10\", \"/\" ]"
  "RAM|RAM|check_dorv!RAM 10|vars.dorv_check = \"RAM\"; vars.dorv_values = [ \"10\" ]"
  "Swap|Swap|check_dorv!Swap 10|vars.dorv_check = \"Swap\"; vars.dorv_values = [ \"10\" ]"
  "Processes sshd|Processes|check_dorv!Processes sshd|vars.dorv_check = \"Processes\"; vars.dorv_values = [ \"sshd\" ]"
)
