# Sourced by the administrator tests: a private copy of this host in which the dorv
# package is installed and sshd runs, set up the way the README's SSH set-up says.
#
# enter_private_host re-runs the calling script inside a new mount and network
# namespace whose /usr, /etc and /var are overlays with throw-away upper layers on a
# tmpfs, whose /run and /tmp are empty tmpfs, and whose only network is its own
# loopback. Whatever the test installs or starts there leaves the machine as it was, and
# every process ends with the namespace's last one: the script kills what it started.

# skip MESSAGE: ctest counts exit status 77 as skipped.
skip() {
  echo "SKIPPED: $*"
  exit 77
}

need_tools() {
  local t
  for t in "$@"; do
    command -v "$t" >/dev/null || skip "$t is not installed (scripts/test.sh installs it as root)"
  done
}

# enter_private_host "$@": from the caller's top level; returns inside the namespace.
enter_private_host() {
  if [ -z "${DORV_PRIVATE_HOST-}" ]; then
    [ "$(id -u)" -eq 0 ] || skip "needs root: it installs a package and runs sshd in a private mount namespace (unshare -m)"
    need_tools unshare ip
    DORV_PRIVATE_HOST=1 exec unshare --mount --net --propagation private -- bash "$0" "$@"
  fi
  # The throw-away layers live in the private /run, so nothing is left on the host.
  mount -t tmpfs -o mode=0755 dorv-run /run
  scratch=/run/dorv-host
  mkdir "$scratch"
  local d
  for d in usr etc var; do
    mkdir -p "$scratch/$d/upper" "$scratch/$d/work"
    mount -t overlay "dorv-$d" -o "lowerdir=/$d,upperdir=$scratch/$d/upper,workdir=$scratch/$d/work" "/$d"
  done
  mkdir -p "$scratch/tmp" /run/host-tmp && chmod 1777 "$scratch/tmp"
  # The tree, the build and the package may live under the host's /tmp (a clone made with
  # mktemp): what the test needs of it is bound back into the fresh /tmp.
  local keep=() p top
  for p in "$(realpath "$0")" "$PWD" "$@"; do
    case $p in /tmp/?*) top=${p#/tmp/}; keep+=("${top%%/*}") ;; esac
  done
  mount --bind /tmp /run/host-tmp
  mount --bind "$scratch/tmp" /tmp
  for top in "${keep[@]}"; do
    [ -e "/tmp/$top" ] && continue
    mkdir -p "/tmp/$top"
    mount --bind "/run/host-tmp/$top" "/tmp/$top"
  done
  ip link set lo up
  T=$(mktemp -d /tmp/dorv-test.XXXXXX)
  chmod 0755 "$T"
  trap stop_started EXIT
}

started=()
# started_pid PID: killed (its process group first) when the script ends.
started_pid() { started+=("$1"); }
# The console keeps one ssh master per host for a while (connection reuse); the ones the
# test's consoles left, in the private /var and /run, end before sshd.
end_ssh_masters() {
  local s
  for s in /var/lib/*/.cache/dorv-console/ssh/* /run/user/*/dorv-console/*; do
    [ -S "$s" ] && timeout 10 ssh -S "$s" -O exit dorv 2>/dev/null || true
  done
}
stop_started() {
  local p="" i
  end_ssh_masters
  for p in "${started[@]}"; do
    kill -TERM -- "-$p" 2>/dev/null || true
  done
  # A daemon that does not end on SIGTERM within 5 s (Icinga sometimes hangs in its
  # shutdown) is killed.
  for ((i = 0; i < 25; i++)); do
    for p in "${started[@]}"; do
      kill -0 -- "-$p" 2>/dev/null && break
    done
    kill -0 -- "-$p" 2>/dev/null || break
    sleep 0.2
  done
  for p in "${started[@]}"; do
    kill -KILL -- "-$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
}

# wait_for SECONDS COMMAND...: until COMMAND succeeds; fails after SECONDS.
wait_for() {
  local limit=$(($(date +%s) + $1)) ; shift
  until "$@"; do
    [ "$(date +%s)" -lt "$limit" ] || return 1
    sleep 0.2
  done
}

# install_dorv DEB...: dpkg installs the packages together; the agent's script creates
# the account.
install_dorv() {
  dpkg -i "$@" >"$T/dpkg.log" 2>&1 || { cat "$T/dpkg.log"; return 1; }
}

# start_sshd: the host's sshd on 127.0.0.1:22 of the private network, host keys made
# afresh, everything else as the Debian package configures it.
start_sshd() {
  rm -f /etc/ssh/ssh_host_*
  ssh-keygen -A >/dev/null
  mkdir -p /run/sshd
  printf 'ListenAddress 127.0.0.1\n' >/etc/ssh/sshd_config.d/dorv-test.conf
  setsid /usr/sbin/sshd -D -e >"$T/sshd.log" 2>&1 &
  started_pid $!
  wait_for 10 bash -c 'exec 3<>/dev/tcp/127.0.0.1/22' 2>/dev/null || { cat "$T/sshd.log"; return 1; }
}

# icinga_ca DIR: a throw-away CA for Icinga 2's API, DIR/ca.key and DIR/ca.crt.
icinga_ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=dorv-test-ca" \
    -keyout "$1/ca.key" -out "$1/ca.crt" 2>/dev/null
}

# icinga_node_cert NODE DIR CERTS: NODE's key and certificate, signed by the CA in DIR
# (icinga_ca), in CERTS with the CA's certificate, where Icinga 2 looks for them.
icinga_node_cert() {
  local node=$1 dir=$2 certs=$3
  mkdir -p "$certs"
  cp "$dir/ca.crt" "$certs/ca.crt"
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$node" -keyout "$certs/$node.key" -out "$dir/$node.csr" 2>/dev/null
  openssl x509 -req -in "$dir/$node.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 2 -out "$certs/$node.crt" 2>/dev/null
}

# icinga_api_certs NODE DIR: a throw-away CA (its key in DIR) and NODE's certificate for
# Icinga 2's API, in /var/lib/icinga2/certs.
icinga_api_certs() {
  icinga_ca "$2"
  icinga_node_cert "$1" "$2" /var/lib/icinga2/certs
}

# icinga_prepare: a private Icinga 2 node "dorv-icinga" with its API certificates. Sets
# i (its directory under $T) and node, and password (a fresh one for the config's ApiUser).
icinga_prepare() {
  i=$T/icinga2
  node=dorv-icinga
  password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
  mkdir -p "$i" /run/icinga2/cmd
  icinga_api_certs "$node" "$i"
}

# icinga_start READY...: checks and starts Icinga 2 on $i/icinga2.conf as the nagios user's
# files, ended with the test; waits up to 30 s for the command READY... to succeed.
icinga_start() {
  chown -R nagios:nagios /var/lib/icinga2 /var/cache/icinga2 /var/log/icinga2 /run/icinga2 "$i"
  icinga2 daemon -C -c "$i/icinga2.conf" >"$i/validate.log" 2>&1 || { cat "$i/validate.log"; exit 1; }
  setsid icinga2 daemon -c "$i/icinga2.conf" >"$i/stdout.log" 2>&1 &
  started_pid $!
  wait_for 30 "$@" 2>/dev/null || { cat "$i/stdout.log"; exit 1; }
}

# readme_ssh_setup USER: the README's SSH set-up for the scheduler's user USER, step by
# step, with the monitored host being 127.0.0.1.
readme_ssh_setup() {
  local user=$1 home
  home=$(getent passwd "$user" | cut -d: -f6)
  install -d -o "$user" -g "$(id -gn "$user")" -m 0700 "$home/.ssh"
  # The key, made as the scheduler's user.
  runuser -u "$user" -- ssh-keygen -q -t ed25519 -N '' -C "$user@monitor" -f "$home/.ssh/id_ed25519"
  # Installed for dorv, able only to run the agent.
  printf 'command="/usr/bin/dorv",no-pty,no-port-forwarding,no-agent-forwarding,no-X11-forwarding %s\n' \
    "$(cat "$home/.ssh/id_ed25519.pub")" >>/var/lib/dorv/.ssh/authorized_keys
  chown dorv:dorv /var/lib/dorv/.ssh/authorized_keys
  chmod 0600 /var/lib/dorv/.ssh/authorized_keys
  # The host key, accepted as the scheduler's user under the name it connects to.
  runuser -u "$user" -- sh -c 'ssh-keyscan -t ed25519 127.0.0.1 2>/dev/null >>"$HOME/.ssh/known_hosts"'
  # The log directory (the package made it) and the configuration.
  test -d /var/log/dorv
  # Only the scheduler's address is admitted for dorv; checked as the agent's user, who
  # must be able to read the file.
  printf 'dorv=127.0.0.1\n' >>/etc/dorv/dorv.ini
  runuser -u dorv -- dorv --check-config </dev/null >"$T/check-config.out" ||
    { echo "dorv --check-config failed:"; cat "$T/check-config.out"; return 1; }
  grep -qx 'firewall: login dorv admits IPv4 address 127.0.0.1' "$T/check-config.out" ||
    { echo "dorv --check-config: no admitted line for dorv:"; cat "$T/check-config.out"; return 1; }
  # One check by hand, as the scheduler's user.
  runuser -u "$user" -- dorv-console --ssh dorv@127.0.0.1 --ssh-option -oBatchMode=yes \
    --format plugin run Processes sshd || { cat "$T/sshd.log"; return 1; }
}

# agent_answer CHECK: "RESULT<TAB>TEXT" of the agent's last runcheck reply for CHECK, from
# its trace log.
agent_answer() {
  grep -a "^> #keycount=5#responseaction=runcheck#.*#checkid=$1#" /var/log/dorv/dorv.log | tail -n 1 |
    sed -E 's/.*#result=([^#]*)#resultstring=([^#]*)#$/\1\t\2/'
}

# expect_recorded SERVICE CHECK STATE OUTPUT PERFDATA: what a scheduler recorded for
# SERVICE (CHECK's result, with the limits of services.sh) against what the agent
# answered; prints one line per service and returns 1 on a mismatch.
expect_recorded() {
  local service=$1 check=$2 state=$3 output=$4 perf=$5 result text want_state word figure w c free label pw pc
  IFS=$'\t' read -r result text <<<"$(agent_answer "$check")"
  printf '%-16s state=%s output="%s" perfdata="%s"\n' "$service" "$state" "$output" "$perf"
  if [ -z "$result" ]; then
    echo "  no answer of the agent for $check in its trace" && return 1
  fi
  figure=$(grep -oE '[0-9]+%?( |$)' <<<"$text" | grep -oE '[0-9]+' | head -n 1)
  read -r w c <<<"${limits[$check]-}"
  # The thresholds as ranges that alert as the limits do: a load above w; a free share at
  # or below w, which for a disk is a used share of 100 - w or more (above 99 - w).
  case $check in
    CPU) label=cpu_load pw=$w pc=$c ;;
    DiskSpace) label=${service#DiskSpace } free=$((100 - figure)) pw=$((99 - w)) pc=$((99 - c)) ;;
    *) label=${check,,}_free free=$figure pw=$((w + 1)): pc=$((c + 1)): ;;
  esac
  case $result in
    up) want_state=0 word=OK
      if [ -n "$w" ]; then
        if { [ "$check" = CPU ] && ((figure > w)); } || { [ "$check" != CPU ] && ((free <= w)); }; then
          want_state=1 word=WARNING
        fi
      fi ;;
    down) want_state=2 word=CRITICAL ;;
    *) want_state=3 word=UNKNOWN ;;
  esac
  [ "$state" = "$want_state" ] || { echo "  state: want $want_state (agent: $result)"; return 1; }
  [ "$output" = "$check $word - $text" ] || { echo "  output: want \"$check $word - $text\""; return 1; }
  if [ -n "$w" ]; then
    # Icinga drops the quotes of a label without blanks; Nagios keeps them.
    [ "${perf//\'/}" = "$label=${figure}%;$pw;$pc;0;100" ] ||
      { echo "  perfdata: want '$label'=${figure}%;$pw;$pc;0;100"; return 1; }
  fi
}
