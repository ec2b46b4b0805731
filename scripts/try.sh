#!/usr/bin/env bash
# Builds the agent and the console, then runs every check once on this host through the
# console, which starts the agent as an SSH connection would. Installs the compiler, cmake
# and the probe commands (procps: vmstat, top, ps) when missing and run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ procps)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target dorv dorv-console >/dev/null
echo "\$ build/dorv-console run-all"
exec build/dorv-console run-all
