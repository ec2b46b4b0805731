#!/usr/bin/env bash
# The Debian packages as an administrator meets them: lintian finds no error, each holds
# what it should and the agent's depends on no shared library; in a private copy of this
# host they install, a check runs through them as a scheduler runs one, an upgrade from
# the single package of 0.1.0 keeps the administrator's configuration, and removing and
# purging keep the account, the key and the trace.
#
#   package_test.sh AGENT_DEB CONSOLE_DEB
set -euo pipefail
source "$(dirname "$0")/private_host.sh"
src=$(realpath "$(dirname "$0")/../..")
agent_deb=$(realpath "$1")
console_deb=$(realpath "$2")
need_tools lintian dpkg-deb readelf systemd-analyze sshd ssh-keygen runuser
enter_private_host "$@"
fail() {
  echo "FAIL: $*"
  exit 1
}

echo "== lintian"
lintian -I --pedantic --show-overrides "$agent_deb" "$console_deb" 2>&1 | grep -v '^running with root privileges' |
  tee "$T/lintian.out" || true
if grep -q '^E:' "$T/lintian.out"; then fail "lintian reports errors"; fi

echo "== contents"
files_of() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort; }
files_of "$agent_deb" >"$T/agent.files"
files_of "$console_deb" >"$T/console.files"
expect_files() {
  local list=$1 f
  shift
  for f in "$@"; do grep -qx "$f" "$list" || fail "$f missing from ${list##*/}"; done
}
expect_files "$T/agent.files" /usr/bin/dorv /usr/share/man/man8/dorv.8.gz /usr/share/man/man5/dorv.ini.5.gz \
  /etc/dorv/dorv.ini /etc/logrotate.d/dorv /usr/share/doc/dorv/copyright /usr/share/doc/dorv/changelog.gz
expect_files "$T/console.files" /usr/bin/dorv-console /usr/libexec/dorv/dorv-console-submit \
  /usr/libexec/dorv/dorv-mux /usr/share/man/man1/dorv-console.1.gz /usr/share/doc/dorv-console/copyright \
  /usr/share/doc/dorv-console/contrib/nagios/dorv.cfg /usr/share/doc/dorv-console/contrib/icinga2/dorv.conf \
  /usr/lib/systemd/system/dorv-console-hosts.service /usr/lib/systemd/system/dorv-console-hosts.timer
dpkg-deb -c "$agent_deb" | grep -q ' \./var/log/dorv/$' || fail "/var/log/dorv missing from the agent's package"
both=$(comm -12 "$T/agent.files" "$T/console.files" | grep -v -e '^/usr/share/doc/' -e '^/usr/share/lintian/' || true)
[ -z "$both" ] || fail "in both packages: $both"
grep -q -e '^/usr/bin/dorv-console$' -e '^/usr/libexec/' "$T/agent.files" && fail "the agent's package holds the console"

# The agent's Depends names commands and the account's tool, no library, and its binary
# loads none.
depends=$(dpkg-deb -f "$agent_deb" Depends)
echo "dorv Depends: $depends"
[ "$depends" = "procps, adduser" ] || fail "dorv depends on $depends"
dpkg-deb -x "$agent_deb" "$T/agent"
if readelf -d "$T/agent/usr/bin/dorv" | grep -q NEEDED; then fail "/usr/bin/dorv loads shared libraries"; fi
console_depends=$(dpkg-deb -f "$console_deb" Depends)
echo "dorv-console Depends: $console_depends"
grep -q 'openssh-client' <<<"$console_depends" || fail "dorv-console does not depend on openssh-client"
grep -q 'libcurl' <<<"$console_depends" || fail "dorv-console does not depend on what the submitter links"

echo "== one log name"
log=$(sed -n 's/^log=//p' "$T/agent/etc/dorv/dorv.ini")
others=$(grep -rhoE '/var/log/dorv/[A-Za-z0-9_.-]+\.log' "$src/README.md" "$src/docs" "$src/man" | sort -u)
[ "$others" = "$log" ] || fail "the packaged configuration logs to $log, the docs name: $others"

echo "== install"
install_dorv "$agent_deb" "$console_deb"
dpkg-query -W -f='${Conffiles}\n' dorv | awk 'NF {print $1}' | sort >"$T/conffiles"
printf '/etc/dorv/dorv.ini\n/etc/logrotate.d/dorv\n' | diff - "$T/conffiles"
shell=$(getent passwd dorv | cut -d: -f7)
echo "account: $(getent passwd dorv)"
[ "$shell" = /bin/sh ] || fail "dorv's shell is $shell"
[ "$(stat -c %U /var/log/dorv)" = dorv ] || fail "/var/log/dorv is not dorv's"
for page in dorv.8 dorv-console.1 dorv.ini.5; do
  warnings=$(zcat "/usr/share/man/man${page##*.}/$page.gz" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$page: $warnings"
done

echo "== the units' confinement"
# systemd's own rating of each shipped service, read from the installed files (the
# exporter's is an example in the docs): below 5 ("OK" or better), and no directive that
# this systemd does not know.
for unit in /usr/lib/systemd/system/dorv*.service /usr/share/doc/dorv-console/contrib/systemd/dorv-exporter.service; do
  [ -f "$unit" ] || fail "$unit is not installed"
  systemd-analyze security --offline=yes --no-pager "$unit" >"$T/security.out" 2>&1 || true
  rating=$(tail -n 1 "$T/security.out")
  echo "$rating"
  grep -qiE 'unknown|failed to' "$T/security.out" && { cat "$T/security.out"; fail "systemd does not read $unit"; }
  exposure=$(sed -nE 's/.*Overall exposure level for [^:]*: ([0-9.]+) .*/\1/p' <<<"$rating")
  [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e < 5) }' || fail "$unit: $rating"
done

echo "== a check as the scheduler runs it"
start_sshd
readme_ssh_setup nagios
source "$(dirname "$0")/services.sh"
run_disk_check() {
  local out status
  out=$(runuser -u nagios -- dorv-console --ssh dorv@127.0.0.1 --ssh-option -oBatchMode=yes -t 20 \
    --format plugin run DiskSpace -w 20 -c 10 /) && status=0 || status=$?
  echo "$out (exit $status)"
  expect_recorded "DiskSpace /" DiskSpace "$status" "${out%% | *}" "${out#* | }" ||
    { tail -5 /var/log/dorv/dorv.log; ls -la /var/log/dorv; return 1; }
}
run_disk_check
grep -q "^Accepted new connection for user dorv from IP 127.0.0.1$" /var/log/dorv/dorv.log
echo "trace: $(stat -c '%U:%G %a' /var/log/dorv/dorv.log) /var/log/dorv/dorv.log"

# expect_kept WHAT: the account, its key and the trace are still there.
expect_kept() {
  getent passwd dorv >/dev/null || fail "$1 took the account"
  [ -s /var/lib/dorv/.ssh/authorized_keys ] || fail "$1 took the key"
  [ -s /var/log/dorv/dorv.log ] || fail "$1 took the trace"
}

echo "== remove and purge"
dpkg -r dorv-console dorv >/dev/null
grep -qx 'dorv=127.0.0.1' /etc/dorv/dorv.ini || fail "removal took the configuration"
expect_kept removal
dpkg -P dorv >/dev/null
expect_kept purging
end_ssh_masters

echo "== upgrade from the single package of 0.1.0"
# A package of 0.1.0's layout, made of these packages' files: one package "dorv" holding
# the agent, the console and all docs under /usr/share/doc/dorv, the units among them.
old=$T/old
dpkg-deb -R "$agent_deb" "$old"
rm "$old/DEBIAN/md5sums"
dpkg-deb -x "$console_deb" "$old"
cp -a "$old/usr/share/doc/dorv-console/." "$old/usr/share/doc/dorv/"
rm -r "$old/usr/share/doc/dorv-console"
mkdir -p "$old/usr/share/doc/dorv/contrib/systemd"
mv "$old"/usr/lib/systemd/system/* "$old/usr/share/doc/dorv/contrib/systemd/"
rm -r "$old/usr/lib/systemd"
cat "$old/usr/share/lintian/overrides/dorv-console" >>"$old/usr/share/lintian/overrides/dorv"
rm "$old/usr/share/lintian/overrides/dorv-console"
sed -i -e 's/^Version: .*/Version: 0.1.0/' -e "s/^Depends: .*/Depends: procps, adduser, $console_depends/" \
  "$old/DEBIAN/control"
dpkg-deb --build --root-owner-group "$old" "$T/dorv_0.1.0.deb" >/dev/null
install_dorv "$T/dorv_0.1.0.deb"
[ "$(dpkg-query -W -f='${Version}' dorv)" = 0.1.0 ] || fail "0.1.0 is not installed"
uid=$(id -u dorv)
echo "; the administrator's own line" >>/etc/dorv/dorv.ini
cp /etc/dorv/dorv.ini "$T/dorv.ini.mine"
dpkg -i "$agent_deb" "$console_deb" >"$T/upgrade.log" 2>&1 || { cat "$T/upgrade.log"; fail "the upgrade failed"; }
for p in dorv dorv-console; do
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$p")" = "ii " ] || fail "$p is not installed after the upgrade"
done
[ "$(dpkg -S /usr/bin/dorv-console | cut -d: -f1)" = dorv-console ] || fail "dorv-console's files stayed with dorv"
cmp -s /etc/dorv/dorv.ini "$T/dorv.ini.mine" || fail "the upgrade changed the administrator's configuration"
[ "$(id -u dorv)" = "$uid" ] || fail "the upgrade made a new account"
expect_kept upgrade
run_disk_check
dpkg -P dorv-console dorv >/dev/null
expect_kept purging
echo "PASS"
