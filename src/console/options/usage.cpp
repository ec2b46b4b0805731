// The text of --help.
#include "console/options/options.h"
#include "console/output/format.h"

namespace dorv {

namespace {

// The commands, and what may follow a check's name.
std::string command_text()
{
    return R"(usage: dorv-console [OPTION...] COMMAND [+ COMMAND ...]

Runs the dorv agent (the local one, or one on another host over ssh) and asks it
about its checks. Several commands joined by "+" share one agent session.

Commands:
  list                        the checks the agent offers
  describe CHECK              the parameters of CHECK, with the values of a list
  run CHECK [VALUE ...]       run CHECK with its parameters in order
  run CHECK NAME=VALUE ...    ... or by name (any case; a unique part of a name will do)
  run-all                     every check once, with usual limits (load 90 %, 10 % free),
                              the disk "/" and the process "dorv" (the agent itself)
  discover                    scheduler configuration for every service the agent
                              offers, with --format nagios, icinga2 or json; system
                              file systems (tmpfs, overlay, squashfs, proc, ...) are
                              left out unless --all-mounts
  serve --hosts FILE [--listen ADDR:PORT] [--modules FILE] [--max-probes N]
                              a Prometheus exporter: GET /probe?target=HOST&module=NAME
                              runs the module's checks on HOST of FILE (see dorv-console(1))

After the check name of a run (or before the command, for a single run):
  -c, --critical LIMIT        the check's limit, its first parameter (CRITICAL)
  -w, --warning LIMIT         a warning limit on the same scale: CPU warns while its
                              load is above it, DiskSpace, RAM and Swap while the free
                              share is at or below it; Processes takes neither
  --service NAME              the service name of this check's passive result
  A LIMIT with ':' or '@' is a range of the monitoring plugins, judged by the console on
  the load or the free share (-c too): 10: (10 or more), ~:10 (10 or less), 0:10, 10:20;
  a figure outside it alerts, or inside it with '@' in front (@10:20, @5 for 0 to 5); both
  ends belong to the range

)";
}

// The options, and the exit status.
std::string option_text()
{
    return R"(Options:
  --agent PATH                the local agent binary (default: dorv beside dorv-console)
  --ssh DESTINATION           run the agent on DESTINATION through ssh
  --remote-command CMD        what ssh runs there (default: dorv)
  --ssh-option ARG            one more argument for ssh, before the destination
                              (repeatable: --ssh-option -p --ssh-option 2222)
  --reuse SECONDS             keep one ssh connection per destination and options
                              for SECONDS after its last check (default: 300);
                              0: a new connection every time
  -t, --timeout SECONDS       the longest the whole session may take (default: 30);
                              the agent or ssh is then killed and the result is unknown
  --format )" +
           format_names("|", "|") + R"(
                              readable text (default); one monitoring-plugin result
                              (status line, one line per check, performance data);
                              one JSON object per command; passive check results
                              for the scheduler's command file (needs --host); or
                              metrics in Prometheus' text format; nagios and
                              icinga2 are discover's (json serves both)
  --host NAME                 the scheduler's name of the host, for --format passive
                              and discover
  --hosts FILE                the commands on every host of FILE ("DESTINATION [NAME]"
                              a line), passive results (or metrics), a summary on
                              standard error
  -j, --jobs N                hosts at a time with --hosts (default: 20)
  --submit URL                send passive results to the Icinga 2 API at URL
                              (https://HOST:5665) instead of printing them, with
  --submit-user NAME --submit-password-file FILE, or
  --submit-cert FILE --submit-key FILE; --submit-ca FILE verifies the server;
  --submit-ttl SECONDS        how long a result stands (default: 300)
  -v, --verbose               show the packets exchanged on standard error
  -V, --version               the version
  -h, --help                  this text

Exit status: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (no answer, an error, a timeout);
with several checks the worst of them: CRITICAL, then WARNING, then UNKNOWN.

Examples:
  dorv-console list
  dorv-console run CPU 80
  dorv-console -w 80 -c 90 --format plugin run CPU
  dorv-console --format plugin run CPU -w 80 -c 90 + run DiskSpace -w 20 -c 10 / \
      + run RAM -w 20 -c 10 + run Swap -w 30 -c 10 + run Processes sshd
  dorv-console --ssh monitor@db1 --format passive --host db1 run RAM -w 20 -c 10
  dorv-console --ssh dorv@db1 --host db1 --format nagios discover > db1.cfg
)";
}

} // namespace

std::string usage_text()
{
    return command_text() + option_text();
}

} // namespace dorv
