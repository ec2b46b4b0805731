#!/usr/bin/env bash
# Fails when a C++ source or header of the tree is not as the committed .clang-format has it.
#   scripts/format-check.sh          check (lists the files that differ)
#   scripts/format-check.sh --fix    rewrite them in place
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]})); then
  echo "not formatted by .clang-format (scripts/format-check.sh --fix): ${bad[*]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format has them"
