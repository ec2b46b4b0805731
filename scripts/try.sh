#!/usr/bin/env bash
# Builds the agent and the console, then runs every check once on this host through the
# console, which starts the agent as an SSH connection would. Installs the compiler, cmake
# and the probe commands (procps: vmstat, top, ps) when missing and run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each tool, and the Debian package that brings it.
declare -A package_of=([cmake]=cmake [make]=make [g++]=g++ [vmstat]=procps [top]=procps [ps]=procps)
missing=()
for tool in cmake make g++ vmstat top ps; do
  p=${package_of[$tool]}
  if ! command -v "$tool" >/dev/null && [[ " ${missing[*]} " != *" $p "* ]]; then
    missing+=("$p")
  fi
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
