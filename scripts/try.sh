#!/usr/bin/env bash
# Builds the agent and the console, then runs every check once on this host through the
# console, which starts the agent as an SSH connection would. Installs the compiler, cmake
# and the probe commands (procps: vmstat, top, ps) when missing and run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
for tool in cmake make g++; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
command -v vmstat >/dev/null && command -v top >/dev/null && command -v ps >/dev/null || missing+=(procps)
source scripts/install-packages.sh
install_packages "${missing[@]}"

echo "building the agent and the console in build/ ..."
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target dorv dorv-console >/dev/null
echo "\$ build/dorv-console run-all"
exec build/dorv-console run-all
