#!/usr/bin/env bash
# What a configured check costs beside running its plugin bare: the shipped agent, with a
# configuration that declares check_dummy and check_disk as checks, answers runcheck
# requests alternately with bare runs of the same plugin (bench/session_probe check). The
# configuration is put in /etc/dorv by an overlay in a private mount namespace, so the
# host's /etc is not touched: needs root and unshare.
# Usage: bench/own_check.sh [BUILD_DIR] [RUNS]   (default: build-rel, 501)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-rel}
runs=${2:-501}
plugins=/usr/lib/nagios/plugins
if [ ! -x "$plugins/check_dummy" ] || [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null; then
  echo "own_check: skipped, needs root, unshare and monitoring-plugins-basic"
  exit 0
fi
if [ ! -x "$build/dorv" ] || [ ! -x "$build/bench/session_probe" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDORV_TESTS=OFF -DDORV_REQUIRE_ALL=ON >/dev/null
  cmake --build "$build" -j"$(nproc)" --target dorv session_probe >/dev/null
fi
agent=$(realpath "$build/dorv")
probe=$(realpath "$build/bench/session_probe")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/upper/dorv" "$work/work"
cat >"$work/upper/dorv/dorv.ini" <<INI
[agent]
log=/dev/null
[check:Dummy]
command=$plugins/check_dummy 0 {Text}
list=Text: all fine
[check:Disk]
command=$plugins/check_disk -w {W}% -c 5% -p {M}
number=W
list=M: /
INI
unshare -m --propagation private sh -c '
mount -t overlay overlay -o "lowerdir=/etc,upperdir=$1/upper,workdir=$1/work" /etc
echo "check_dummy:"; "$2" check "$3" "$4" Dummy "Text=all fine" -- "$5/check_dummy" 0 "all fine"
echo "check_disk:"; "$2" check "$3" "$4" Disk W=10 M=/ -- "$5/check_disk" -w 10% -c 5% -p /
' sh "$work" "$probe" "$agent" "$runs" "$plugins"
