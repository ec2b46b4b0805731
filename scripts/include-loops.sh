#!/usr/bin/env bash
# Fails when src/ has an include loop: between modules (a file with its header, so
# foo.h and foo.cpp are one node), between folders, or from a folder into one above it.
# Prints the members of each loop it finds. Usage: scripts/include-loops.sh [SRC_DIR]
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}
cd "$src"

# "from to" for every quoted include of a file under src/, both ends as paths without
# their extension; the platform variants (foo_linux.cpp) stay modules of their own.
edges() {
  find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort | while read -r file; do
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" |
      while read -r inc; do
        [ -e "$inc" ] || continue # a header beside the including file is not used here
        printf '%s %s\n' "${file%.*}" "${inc%.*}"
      done
  done
}

failed=0
# tsort names the members of each loop on standard error.
check() {
  local what=$1 out
  out=$(tsort 2>&1 >/dev/null) || true
  if [ -n "$out" ]; then
    echo "include loop between $what:" >&2
    echo "$out" | sed -n 's/^tsort: //p' | grep -v 'input contains a loop' | sed 's/^/  /' >&2
    failed=1
  fi
}

all=$(edges)
check modules < <(echo "$all" | awk '$1 != $2')
check folders < <(echo "$all" | awk '{ f = $1; t = $2; sub(/\/[^\/]*$/, "", f); sub(/\/[^\/]*$/, "", t); if (f != t) print f, t }' | sort -u)
# A folder that includes its own parent (or a parent's parent) reaches back up.
while read -r from to; do
  f=${from%/*} t=${to%/*}
  case "$f/" in
  "$t"/?*) echo "folder $f includes $to from above it (in $from)" >&2 && failed=1 ;;
  esac
done <<<"$all"
exit $failed
