#!/usr/bin/env bash
# Runs a private sshd for the console's SSH tests, in the foreground, until it is killed.
#
#   sshd-for-tests.sh DIR PORT [FORCED_COMMAND [SSHD_CONFIG_LINES]]
#
# DIR must hold etc-dorv/dorv.ini, the agent configuration for this sshd. The script makes
# a throwaway host key and client key in DIR, an authorized_keys whose key runs
# FORCED_COMMAND (command= restricted; no restriction when it is empty), an sshd_config
# listening on 127.0.0.1:PORT only (on $SSHD_LISTEN instead when set: the benchmark's
# private network namespace listens on all of its loopback) with SSHD_CONFIG_LINES added
# to it, and DIR/ssh_config for the client (host "dorv-test").
# sshd then runs in a private mount namespace in which DIR/etc-dorv is mounted on
# /etc/dorv: it and every agent it starts see that dorv.ini, the machine's /etc stays as it
# is. With SSHD_EMPTY_HOME set, the user's home directory is an empty tmpfs there too: the
# shell that sshd starts for each session then reads none of the account's start-up files,
# as for an account made for the agent (the benchmark measures sessions, not those).
# Needs root (mount namespace, sshd's privilege separation).
set -euo pipefail

dir=$1
port=$2
forced=${3-}
extra=${4-}
sshd=/usr/sbin/sshd

[ "$(id -u)" -eq 0 ] || { echo "sshd-for-tests: needs root" >&2; exit 77; }
[ -x "$sshd" ] || { echo "sshd-for-tests: $sshd missing (openssh-server)" >&2; exit 77; }
[ -f "$dir/etc-dorv/dorv.ini" ] || { echo "sshd-for-tests: $dir/etc-dorv/dorv.ini missing" >&2; exit 2; }
user=$(id -un)

ssh-keygen -q -t ed25519 -N '' -C dorv-test-host -f "$dir/host_key"
ssh-keygen -q -t ed25519 -N '' -C dorv-test-client -f "$dir/client_key"

restrict=""
if [ -n "$forced" ]; then
  restrict="command=\"$forced\",no-pty,no-port-forwarding,no-agent-forwarding,no-X11-forwarding "
fi
printf '%s%s\n' "$restrict" "$(cat "$dir/client_key.pub")" >"$dir/authorized_keys"
printf '[127.0.0.1]:%s %s\n' "$port" "$(cut -d' ' -f1,2 "$dir/host_key.pub")" >"$dir/known_hosts"

cat >"$dir/sshd_config" <<CONF
Port $port
ListenAddress ${SSHD_LISTEN:-127.0.0.1}
HostKey $dir/host_key
PidFile none
AuthorizedKeysFile $dir/authorized_keys
AllowUsers $user
PermitRootLogin prohibit-password
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PrintMotd no
LogLevel VERBOSE
$extra
CONF

cat >"$dir/ssh_config" <<CONF
Host dorv-test
  HostName 127.0.0.1
  Port $port
  User $user
  IdentityFile $dir/client_key
  IdentitiesOnly yes
  UserKnownHostsFile $dir/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
  BatchMode yes
  LogLevel ERROR
CONF

# sshd's privilege separation directory.
mkdir -p /run/sshd

# In the namespace DIR/etc-dorv is bound on /etc/dorv. A host without /etc/dorv gets the
# mount point from a throw-away overlay layer over /etc, so the real /etc is never written.
mkdir -p "$dir/etc-layer/upper/dorv" "$dir/etc-layer/work"
home=""
[ -n "${SSHD_EMPTY_HOME-}" ] && home=$(getent passwd "$user" | cut -d: -f6)
exec unshare --mount --propagation private -- sh -c '
  if [ ! -d /etc/dorv ]; then
    mount -t overlay overlay -o "lowerdir=/etc,upperdir=$1/upper,workdir=$1/work" /etc || exit 1
  fi
  if [ -n "$6" ]; then
    mount -t tmpfs -o mode=0700 dorv-empty-home "$6" || exit 1
  fi
  mount --bind "$2" /etc/dorv && exec "$3" -D -E "$4" -f "$5"
' sh "$dir/etc-layer" "$dir/etc-dorv" "$sshd" "$dir/sshd.log" "$dir/sshd_config" "$home"
