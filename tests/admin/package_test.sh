#!/usr/bin/env bash
# The Debian package as an administrator meets it: lintian finds no error, it holds what
# it should, it installs (in a private copy of this host), its script creates the account,
# a check runs through it as a scheduler runs one, and removing it keeps the account,
# the key and the trace.
#
#   package_test.sh DEB
set -euo pipefail
source "$(dirname "$0")/private_host.sh"
deb=$(realpath "$1")
need_tools lintian dpkg-deb sshd ssh-keygen runuser
enter_private_host "$@"

echo "== lintian"
lintian -I --pedantic --show-overrides "$deb" 2>&1 | grep -v '^running with root privileges' | tee "$T/lintian.out" || true
if grep -q '^E:' "$T/lintian.out"; then echo "FAIL: lintian reports errors"; exit 1; fi

echo "== contents"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$T/files"
for f in /usr/bin/dorv /usr/bin/dorv-console /usr/libexec/dorv/dorv-console-submit /usr/libexec/dorv/dorv-mux \
  /usr/share/man/man8/dorv.8.gz /usr/share/man/man1/dorv-console.1.gz \
  /usr/share/man/man5/dorv.ini.5.gz /etc/dorv/dorv.ini /etc/logrotate.d/dorv /var/log/dorv/ \
  /usr/share/doc/dorv/copyright /usr/share/doc/dorv/contrib/nagios/dorv.cfg /usr/share/doc/dorv/contrib/icinga2/dorv.conf; do
  grep -qx "$f" "$T/files" || { echo "FAIL: $f missing from the package"; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q procps
dpkg-deb -f "$deb" Recommends | grep -q openssh-server

echo "== install"
install_dorv "$deb"
dpkg-query -W -f='${Conffiles}\n' dorv | awk 'NF {print $1}' | sort >"$T/conffiles"
printf '/etc/dorv/dorv.ini\n/etc/logrotate.d/dorv\n' | diff - "$T/conffiles"
shell=$(getent passwd dorv | cut -d: -f7)
echo "account: $(getent passwd dorv)"
[ "$shell" = /bin/sh ] || { echo "FAIL: dorv's shell is $shell"; exit 1; }
[ "$(stat -c %U /var/log/dorv)" = dorv ] || { echo "FAIL: /var/log/dorv is not dorv's"; exit 1; }
for page in dorv.8 dorv-console.1 dorv.ini.5; do
  warnings=$(zcat "/usr/share/man/man${page##*.}/$page.gz" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || { echo "FAIL: $page: $warnings"; exit 1; }
done

echo "== a check as the scheduler runs it"
start_sshd
readme_ssh_setup nagios
source "$(dirname "$0")/services.sh"
out=$(runuser -u nagios -- dorv-console --ssh dorv@127.0.0.1 --ssh-option -oBatchMode=yes -t 20 \
  --format plugin run DiskSpace -w 20 -c 10 /) && status=0 || status=$?
echo "$out (exit $status)"
expect_recorded "DiskSpace /" DiskSpace "$status" "${out%% | *}" "${out#* | }" ||
  { tail -5 /var/log/dorv/dorv.log; ls -la /var/log/dorv; exit 1; }
grep -q "^Accepted new connection for user dorv from IP 127.0.0.1$" /var/log/dorv/dorv.log
echo "trace: $(stat -c '%U:%G %a' /var/log/dorv/dorv.log) /var/log/dorv/dorv.log"

echo "== remove and purge"
dpkg -r dorv >/dev/null && dpkg -P dorv >/dev/null
getent passwd dorv >/dev/null || { echo "FAIL: removal took the account"; exit 1; }
[ -s /var/lib/dorv/.ssh/authorized_keys ] || { echo "FAIL: removal took the key"; exit 1; }
[ -s /var/log/dorv/dorv.log ] || { echo "FAIL: removal took the trace"; exit 1; }
echo "PASS"
