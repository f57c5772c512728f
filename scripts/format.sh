#!/usr/bin/env bash
# Lays out the C and C++ sources with the project's .clang-format (Debian's clang-format).
#
#   scripts/format.sh                  formats every tracked .c, .h and .cpp file in place
#   scripts/format.sh core comp        only the files under these paths
#   scripts/format.sh --check [path]   changes nothing; lists the files whose layout differs
#                                      and exits 1 when there is one
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang-format

check=0
if [ "${1:-}" = "--check" ]; then
  check=1
  shift
fi

mapfile -t files < <(git ls-files -- "$@" | grep -E '\.(c|h|cpp)$' || true)
if [ "${#files[@]}" -eq 0 ]; then
  echo "format.sh: no C or C++ file under: ${*:-.}" >&2
  exit 2
fi

if [ "$check" -eq 0 ]; then
  clang-format -i --style=file "${files[@]}"
  exit 0
fi

differ=0
for f in "${files[@]}"; do
  if ! clang-format --style=file "$f" | cmp -s - "$f"; then
    echo "$f"
    differ=1
  fi
done
exit "$differ"
