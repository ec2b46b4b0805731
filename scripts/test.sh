#!/usr/bin/env bash
# Builds dorv from scratch and runs every test: unit and end-to-end tests on a normal
# build, then again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(clang-format cmake make g++ libgtest-dev libbenchmark-dev procps openssh-client openssh-server clang libclang-rt-14-dev
  scdoc groff man-db dpkg-dev lintian adduser passwd util-linux iproute2 nagios4 icinga2 curl jq openssl busybox monitoring-plugins-basic
  libcurl4-openssl-dev clang-tidy systemd libmicrohttpd-dev pkg-config prometheus e2fsprogs)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
source scripts/install-packages.sh
install_packages "${missing[@]}"

jobs=$(nproc)
echo "== format"
bash scripts/format-check.sh
echo "== include loops in src/"
bash scripts/include-loops.sh
run_suite() {
  local dir=$1; shift
  rm -rf "$dir"
  cmake -S . -B "$dir" -DDORV_WERROR=ON -DDORV_REQUIRE_ALL=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs" >/dev/null
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j"$jobs" --timeout 180
}

echo "== build and test"
run_suite build
echo "== build and test under ASan+UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DDORV_SANITIZE=ON -DDORV_BENCH=OFF
echo "== the agent and the console build warning-free with clang too"
rm -rf build-clang
CXX=clang++ cmake -S . -B build-clang -DDORV_WERROR=ON -DDORV_TESTS=OFF -DDORV_BENCH=OFF \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build build-clang -j"$jobs" >/dev/null
echo "== clang-tidy (.clang-tidy) on src/"
run-clang-tidy -p build-clang -j"$jobs" -quiet "$PWD/src/" >build-clang/tidy.log 2>&1 ||
  { grep -E 'warning:|error:' -A3 build-clang/tidy.log; exit 1; }
echo "== fuzz every target briefly (scripts/fuzz.sh SECONDS for longer runs)"
DORV_FUZZ_SEED=1 bash scripts/fuzz.sh 6
