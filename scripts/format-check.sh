#!/usr/bin/env bash
# Fails when a C++ source or header of the tree is not as the committed .clang-format has it.
#   scripts/format-check.sh          check (lists the files that differ)
#   scripts/format-check.sh --fix    rewrite them in place
# The files are found in the source folders themselves, so that a tree without git (an
# unpacked tarball) is checked as well.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "format: clang-format is not installed" >&2; exit 1; }
mapfile -t files < <(find src tests fuzz bench -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
if ((${#files[@]} == 0)); then
  echo "format: no C++ sources found under src, tests, fuzz and bench" >&2
  exit 1
fi
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
