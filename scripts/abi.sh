#!/usr/bin/env bash
# Compares the ABI of libzelm.so and of the platform interface with the baselines in abi/.
#
#   scripts/abi.sh                   builds the abi preset (build/abi) and compares both libraries with
#                                    their baselines; on any difference prints abidiff's report, exits 1
#   scripts/abi.sh --update          rewrites the baselines from this checkout: commit them together
#                                    with the change that moved the ABI
#   scripts/abi.sh --baselines DIR   compares with (or updates) the baselines in DIR instead of abi/
#
# abi/libzelm.abi describes libzelm.so: its exported functions, g_zelmLocalData and every type
# under include/. abi/platform.abi describes the platform functions (include/platform/) as the
# stand-in exports them, and the types they reach. abi/libzelm.symbols is the libzelm1 package's
# symbols file: every exported symbol with the version that brought it, kept across updates.
# The abi preset builds alike every time (gcc, debug info, source paths relative to the
# checkout), so neither the developer's preset nor the checkout's location shows in a baseline.
set -euo pipefail
cd "$(dirname "$0")/.."

update=0
baselines=abi
while [ $# -gt 0 ]; do
  case "$1" in
    --update) update=1; shift ;;
    --baselines) baselines="${2:?--baselines needs a folder}"; shift 2 ;;
    *) echo "usage: scripts/abi.sh [--update] [--baselines DIR]" >&2; exit 2 ;;
  esac
done

scripts/deps.sh abigail-tools dpkg-dev
cmake --preset abi >/dev/null
cmake --build --preset abi >&2

current=$(mktemp -d)
trap 'rm -rf "$current"' EXIT

# describe NAME LIBRARY HEADERS [abidw flag...]: writes $current/NAME.abi
describe() {
  local name=$1 library=$2 headers=$3
  shift 3
  abidw --headers-dir "$headers" --drop-private-types --drop-undefined-syms --suppressions "abi/$name.suppr" \
    --no-corpus-path --no-comp-dir-path --no-show-locs --type-id-style hash "$@" \
    --out-file "$current/$name.abi" "build/abi/$library"
}
# Every public type, also those no function reaches: a host sizes and lays out the records itself.
describe libzelm libzelm.so include --load-all-types
# Loading every type of the stand-in would bring its internals along: the two platform types that
# no platform function reaches (QOF_TimerCallback, QOF_TimerCbPair) are in libzelm's baseline.
describe platform libzelm_platform.so include/platform

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/abi/CMakeCache.txt)
major=${version%%.*}
gensymbols=(dpkg-gensymbols -p"libzelm$major" -v"$version" -e"build/abi/libzelm.so.$major" -O"$current/libzelm.symbols")

if [ "$update" -eq 1 ]; then
  mkdir -p "$baselines"
  # The listed symbols keep their versions; a new SONAME starts a new list.
  basis=()
  if head -n 1 "$baselines/libzelm.symbols" 2>/dev/null | grep -q "^libzelm\.so\.$major "; then
    basis=(-I"$baselines/libzelm.symbols")
  fi
  "${gensymbols[@]}" -q -c0 "${basis[@]}"
  cp "$current/libzelm.abi" "$current/platform.abi" "$current/libzelm.symbols" "$baselines/"
  echo "baselines written to $baselines/"
  exit 0
fi

status=0
# compare NAME [abidiff flag...]: prints abidiff's report and sets status to 1 when they differ
compare() {
  local name=$1 report
  shift
  if report=$(abidiff "$@" "$baselines/$name.abi" "$current/$name.abi"); then
    echo "$name: ABI as in $baselines/$name.abi"
  else
    echo "$name: ABI differs from $baselines/$name.abi:"
    echo "$report"
    status=1
  fi
}
# Types no function reaches are compared where they were described (abidiff needs them loaded).
compare libzelm --non-reachable-types
compare platform
# Any symbol added or gone, or another SONAME, shows as a difference of the symbols file.
if "${gensymbols[@]}" -c4 -I"$baselines/libzelm.symbols" >"$current/symbols.diff" 2>&1; then
  echo "libzelm.symbols: as in $baselines/libzelm.symbols"
else
  echo "libzelm.symbols: differs from $baselines/libzelm.symbols:"
  cat "$current/symbols.diff"
  status=1
fi
if [ "$status" -ne 0 ]; then
  echo "A deliberate change: scripts/abi.sh --update, and commit abi/ with it (docs/integrators.md, Versioning)."
fi
exit "$status"
